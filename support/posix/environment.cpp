// EnvironmentValue on POSIX: the variable's bytes as UTF-16.
#include "environment.h"

#include <cstdlib>

#include "text.h"

namespace TesselLibrary {

std::u16string EnvironmentValue(const std::u16string& name) {
    const char* value = std::getenv(ToSystemBytes(name).c_str());
    return value != nullptr ? FromSystemBytes(value) : std::u16string();
}

}  // namespace TesselLibrary
