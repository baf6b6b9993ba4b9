// Paths in the "\\?\" form, which lifts the MAX_PATH limit of the calls.
#include "long_path.h"

#include <windows.h>

#include <cwchar>
#include <vector>

#include "wide.h"

namespace TesselLibrary::Win32 {

namespace {

bool StartsWith(const std::wstring& text, const wchar_t* prefix) {
    return text.compare(0, std::wcslen(prefix), prefix) == 0;
}

// The full path, as the system would resolve `path` in a call; empty when it
// cannot.
std::wstring FullPath(const std::wstring& path) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length =
            ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
        if (length == 0) return {};
        if (length < buffer.size()) return std::wstring(buffer.data(), length);
        buffer.resize(length + 1);  // the reported need includes the null
    }
}

}  // namespace

std::wstring SystemPath(const std::u16string& path) {
    const std::wstring given(Wide(path), path.size());
    // The "\\?\" form turns the system's normalisation off, so it is only
    // made from a full path the system has normalised; device paths are
    // left to the system as they are.
    if (StartsWith(given, L"\\\\?\\") || StartsWith(given, L"\\\\.\\") || StartsWith(given, L"\\??\\")) return given;
    const std::wstring full = FullPath(given);
    if (full.size() >= 3 && full[1] == L':' && full[2] == L'\\') return L"\\\\?\\" + full;
    if (full.size() > 2 && StartsWith(full, L"\\\\") && !StartsWith(full, L"\\\\.\\") && !StartsWith(full, L"\\\\?\\"))
        return L"\\\\?\\UNC\\" + full.substr(2);
    return given;
}

}  // namespace TesselLibrary::Win32
