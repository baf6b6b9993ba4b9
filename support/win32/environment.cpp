// EnvironmentValue on Windows: the wide-character environment, as UTF-16.
#include <windows.h>

#include <vector>

#include "environment.h"

namespace TesselLibrary {

std::u16string EnvironmentValue(const std::u16string& name) {
    const auto* wide = reinterpret_cast<const wchar_t*>(name.c_str());
    const DWORD needed = ::GetEnvironmentVariableW(wide, nullptr, 0);
    if (needed == 0) return {};
    std::vector<wchar_t> value(needed);
    const DWORD length = ::GetEnvironmentVariableW(wide, value.data(), needed);
    if (length == 0 || length >= needed) return {};
    return std::u16string(reinterpret_cast<const char16_t*>(value.data()), length);
}

}  // namespace TesselLibrary
