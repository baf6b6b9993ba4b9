// The processors in this process's affinity mask (within its processor
// group), and environment variables as UTF-16.
#include <windows.h>

#include <vector>

#include "processors.h"

namespace TesselLibrary {

unsigned UsableProcessors() {
    DWORD_PTR process = 0;
    DWORD_PTR system = 0;
    unsigned count = 0;
    if (::GetProcessAffinityMask(::GetCurrentProcess(), &process, &system)) {
        for (; process != 0; process &= process - 1) ++count;
    }
    return count > 0 ? count : 1;
}

unsigned FreeDescriptors(unsigned ceiling) { return ceiling; }

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
