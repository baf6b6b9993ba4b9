// Test helper for the Wine runs: stays attached to the Wine desktop for the
// whole run, as a logged-in session would. Without a client Wine shuts its
// desktop process down a few seconds after each program ends; a program that
// starts during that shutdown gets no message box at all (it returns at once
// or never appears), so the message-box cases would depend on timing.
//   keep_desktop.exe <ready-marker>   runs until the Wine server ends it
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) return 2;
    // A hidden top-level window: its thread is a client of the desktop.
    const HWND window = ::CreateWindowExW(0, L"STATIC", L"keep_desktop", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                          ::GetModuleHandleW(nullptr), nullptr);
    if (!window) return 3;
    const HANDLE ready =
        ::CreateFileW(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (ready == INVALID_HANDLE_VALUE) return 4;
    ::CloseHandle(ready);
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) ::DispatchMessageW(&message);
    return 0;
}
