// Test helper for the Windows end-to-end cases: clicks OK on the message box
// titled <caption>, as a user would, once it is up (waiting up to 30 s).
// Synthetic X key events are not reliable for this under Wine: a key whose
// release reaches no window stays held in the shared Wine server and closes
// the next box by itself.
//   press_ok.exe <caption>      exit 0: pressed; 1: no such box appeared
//                               (then it lists the windows it saw)
// Before it clicks it prints how the box stands: "topmost" or "not topmost",
// then "foreground" or "background"; and on a second line "text: " and the
// box's text, each line break in it shown as "|".
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

BOOL CALLBACK PrintWindow(HWND window, LPARAM) {
    wchar_t className[128] = {};
    wchar_t title[128] = {};
    ::GetClassNameW(window, className, 128);
    ::GetWindowTextW(window, title, 128);
    std::wprintf(L"[%ls \"%ls\"%ls] ", className, title, ::IsWindowVisible(window) ? L"" : L" hidden");
    return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) return 2;
    for (int waited = 0; waited < 300; ++waited) {
        // A message box is a dialog of the system class "#32770".
        if (const HWND box = ::FindWindowW(L"#32770", argv[1]); box && ::IsWindowVisible(box)) {
            const bool topmost = (::GetWindowLongW(box, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
            std::wprintf(L"%ls %ls\n", topmost ? L"topmost" : L"not topmost",
                         ::GetForegroundWindow() == box ? L"foreground" : L"background");
            // A message box shows its text in the static control 0xFFFF.
            wchar_t text[1024] = {};
            ::GetDlgItemTextW(box, 0xFFFF, text, 1024);
            std::wstring shown;
            for (const wchar_t* c = text; *c; ++c) {
                if (*c == L'\n')
                    shown += L'|';
                else if (*c != L'\r')
                    shown += *c;
            }
            std::wprintf(L"text: %ls\n", shown.c_str());
            std::fflush(stdout);
            // What the OK button sends to its box when it is clicked.
            DWORD_PTR ignored = 0;
            ::SendMessageTimeoutW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                                  reinterpret_cast<LPARAM>(::GetDlgItem(box, IDOK)), SMTO_ABORTIFHUNG, 5000, &ignored);
            return 0;
        }
        ::Sleep(100);
    }
    std::wprintf(L"no box; the windows: ");
    ::EnumWindows(PrintWindow, 0);
    std::fflush(stdout);
    return 1;
}
