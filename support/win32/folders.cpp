// The program's, the current and the temporary folder on Windows.
#include <windows.h>

#include <vector>

#include "wide.h"
#include "folders.h"
#include "path.h"

namespace TesselLibrary {

namespace {

constexpr DWORD kFirstBufferLength = 4096;

// Runs a query of the GetCurrentDirectoryW kind (fills the buffer and returns
// the length, or returns the length needed when the buffer is too small)
// until its answer fits. 0 when the system reports nothing.
template <typename Query>
DWORD AskGrowing(std::u16string& out, Query query) {
    std::vector<wchar_t> buffer(kFirstBufferLength);
    for (;;) {
        const DWORD length = query(static_cast<DWORD>(buffer.size()), buffer.data());
        if (length == 0) return 0;
        if (length < buffer.size()) {
            out.assign(Win32::Utf16(buffer.data()), length);
            return length;
        }
        buffer.resize(length + 1);  // the reported need includes the null
    }
}

}  // namespace

const char16_t* ModuleFolder(std::u16string& out) {
    wchar_t buffer[MAX_PATH] = {};
    if (::GetModuleFileNameW(nullptr, buffer, MAX_PATH) == 0) return CurrentFolder(out);
    out = DirectoryOf(Win32::Utf16(buffer));  // the path is whole, up to the first null
    return out.c_str();
}

const char16_t* CurrentFolder(std::u16string& out) {
    if (AskGrowing(out, [](DWORD size, wchar_t* buffer) { return ::GetCurrentDirectoryW(size, buffer); }) == 0)
        return TempFolder(out);
    AppendSeparator(out);
    return out.c_str();
}

const char16_t* TempFolder(std::u16string& out) {
    if (AskGrowing(out, [](DWORD size, wchar_t* buffer) { return ::GetTempPathW(size, buffer); }) == 0) out = u"C:";
    AppendSeparator(out);
    return out.c_str();
}

}  // namespace TesselLibrary
