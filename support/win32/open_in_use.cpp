#include "open_in_use.h"

#include <algorithm>

namespace TesselLibrary::Win32 {

HANDLE CreateFileWaitingWhileInUse(const std::wstring& path, DWORD access, DWORD share, DWORD disposition,
                                   DWORD flags) {
    const ULONGLONG start = ::GetTickCount64();
    // Short pauses first: most holds last a few milliseconds.
    for (DWORD pause = 5;; pause = std::min<DWORD>(pause * 2, 100)) {
        const HANDLE file = ::CreateFileW(path.c_str(), access, share, nullptr, disposition, flags, nullptr);
        if (file != INVALID_HANDLE_VALUE) return file;
        const DWORD error = ::GetLastError();
        if ((error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION) ||
            ::GetTickCount64() - start >= kInUseWaitMs) {
            ::SetLastError(error);
            return INVALID_HANDLE_VALUE;
        }
        ::Sleep(pause);
    }
}

}  // namespace TesselLibrary::Win32
