// Win32 backend, private: CreateFileW that waits out another program's
// brief hold on a file (a virus scanner, an indexer, a viewer) instead of
// failing at once.
#pragma once

#include <windows.h>

#include <string>

namespace TesselLibrary::Win32 {

// How long an open that meets a sharing violation or a lock keeps trying.
constexpr DWORD kInUseWaitMs = 6000;

// CreateFileW with these arguments, tried again while it fails because the
// file is in use (ERROR_SHARING_VIOLATION, ERROR_LOCK_VIOLATION), for up to
// kInUseWaitMs. The last error is the last attempt's.
HANDLE CreateFileWaitingWhileInUse(const std::wstring& path, DWORD access, DWORD share, DWORD disposition, DWORD flags);

}  // namespace TesselLibrary::Win32
