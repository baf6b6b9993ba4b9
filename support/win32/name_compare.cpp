// Name comparison as Windows compares names: CompareStringW with the
// system's default locale, whole strings.
#include <windows.h>

#include "name_compare.h"
#include "wide.h"

namespace TesselLibrary {

namespace {

bool Equal(const std::u16string& first, const std::u16string& second, DWORD flags) {
    return ::CompareStringW(LOCALE_SYSTEM_DEFAULT, flags, Win32::Wide(first), -1, Win32::Wide(second), -1) ==
           CSTR_EQUAL;
}

}  // namespace

bool NamesEqual(const std::u16string& a, const std::u16string& b) { return Equal(a, b, 0); }

bool NamesEqualIgnoringCase(const std::u16string& a, const std::u16string& b) { return Equal(a, b, NORM_IGNORECASE); }

std::u16string NameKey(const std::u16string& name) {
    std::u16string key = name;
    if (!key.empty()) ::CharUpperBuffW(reinterpret_cast<wchar_t*>(key.data()), static_cast<DWORD>(key.size()));
    return key;
}

bool ListedBefore(const std::u16string& a, const std::u16string& b) {
    const int order = ::CompareStringOrdinal(Win32::Wide(a), static_cast<int>(a.size()), Win32::Wide(b),
                                             static_cast<int>(b.size()), TRUE);
    if (order != CSTR_EQUAL && order != 0) return order == CSTR_LESS_THAN;
    return a < b;
}

}  // namespace TesselLibrary
