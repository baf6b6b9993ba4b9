// FindHelpResource on Windows: the compiled help stored as RCDATA 2000.
#include <windows.h>

#include "tessel_file.h"
#include "help_file.h"

namespace TesselLibrary {

namespace {
constexpr WORD kHelpResourceId = 2000;
}

const std::uint8_t* FindHelpResource(ModuleHandle module, std::uint32_t* size) {
    if (size) *size = 0;
    const HMODULE instance = static_cast<HMODULE>(module);
    const HRSRC info = ::FindResourceW(instance, MAKEINTRESOURCEW(kHelpResourceId), RT_RCDATA);
    if (!info) return nullptr;
    const DWORD bytes = ::SizeofResource(instance, info);
    const HGLOBAL loaded = ::LoadResource(instance, info);
    if (!loaded) return nullptr;
    const auto* data = static_cast<const std::uint8_t*>(::LockResource(loaded));
    if (data && size) *size = bytes;
    return data;
}

}  // namespace TesselLibrary
