#include "same_name.h"

#include "name_compare.h"

bool sameNameIgnoringCase(const std::u16string& a, const std::u16string& b) {
    return TesselLibrary::NamesEqualIgnoringCase(b, a);
}
