// Test helper for the Windows end-to-end cases: holds a file open for writing
// (sharing reading and writing, as an editor or a logger would) until a
// release file appears, so that another process meets a file in use.
//   hold_open.exe <file> <ready-marker> <release-marker>
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
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
