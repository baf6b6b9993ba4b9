// Test helper for the Windows end-to-end cases: holds a file open so that
// another process meets a file in use.
//   hold_open.exe <file> <ready-marker> <release-marker>
//       opens it for writing (sharing reading and writing, as an editor or a
//       logger would) and holds it until the release file appears
//   hold_open.exe read <file> <held-marker> <milliseconds>
//       waits for the file to appear, opens it for reading as soon as it can
//       (sharing reading only, as a virus scanner or a viewer would), makes
//       the marker and holds it that long
#include <windows.h>

#include <cwchar>
#include <string>

namespace {

int HoldForReading(const wchar_t* path, const wchar_t* marker, DWORD milliseconds) {
    HANDLE file = INVALID_HANDLE_VALUE;
    // Up to 60 s; the program may have it open itself for a moment.
    for (int waited = 0; waited < 30000 && file == INVALID_HANDLE_VALUE; ++waited) {
        file = ::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                             nullptr);
        if (file == INVALID_HANDLE_VALUE) ::Sleep(2);
    }
    if (file == INVALID_HANDLE_VALUE) return 3;
    const HANDLE held = ::CreateFileW(marker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (held != INVALID_HANDLE_VALUE) ::CloseHandle(held);
    ::Sleep(milliseconds);
    ::CloseHandle(file);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 5 && std::wstring(argv[1]) == L"read")
        return HoldForReading(argv[2], argv[3], static_cast<DWORD>(std::wcstoul(argv[4], nullptr, 10)));
    if (argc != 4) return 2;
    const HANDLE file = ::CreateFileW(argv[1], GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 3;
    const HANDLE ready = ::CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (ready != INVALID_HANDLE_VALUE) ::CloseHandle(ready);
    // Bounded: a test that never releases the file must not leave this behind.
    for (int waited = 0; waited < 1200 && ::GetFileAttributesW(argv[3]) == INVALID_FILE_ATTRIBUTES; ++waited)
        ::Sleep(100);
    ::CloseHandle(file);
    return 0;
}
