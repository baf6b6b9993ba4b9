// Win32 backend, private: one open registry key, closed by its owner.
#pragma once

#include <windows.h>

namespace TesselLibrary::Win32 {

class RegistryKey {
public:
    RegistryKey() = default;
    ~RegistryKey() {
        if (key_) ::RegCloseKey(key_);
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    // Opens `subKey` of `parent` with `access`; false when it cannot.
    bool Open(HKEY parent, const wchar_t* subKey, REGSAM access) {
        return ::RegOpenKeyExW(parent, subKey, 0, access, &key_) == ERROR_SUCCESS;
    }
    // Creates (or opens) `subKey` of `parent` and the missing keys on its path.
    bool Create(HKEY parent, const wchar_t* subKey, REGSAM access) {
        return ::RegCreateKeyExW(parent, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &key_,
                                 nullptr) == ERROR_SUCCESS;
    }
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

}  // namespace TesselLibrary::Win32
