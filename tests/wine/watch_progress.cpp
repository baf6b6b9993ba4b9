// Test helper for the Windows end-to-end cases: watches the progress dialog
// of a folder job from outside, as the user sees it. Once watching, it
// creates <ready-marker>; it then prints one line each time what the dialog
// shows changes, and "closed" when the dialog is gone.
//   watch_progress.exe <ready-marker> [cancel | escape | close]
//   exit 0: a dialog came and went; 1: none came within 60 s;
//   2: wrong arguments, or the action refused for about a second (the
//   first refusal is printed: "press refused, error <GetLastError>");
//   3: it stayed open for more than 10 minutes
// With an action, once the job is at work (the status line shows a folder)
// it stops the job from the window as a user would: "cancel" clicks the
// Cancel button, "escape" presses Escape in the dialog (the key as the
// dialog's message loop receives it), "close" gives the window's close
// command (as the taskbar and Alt+F4 do); it then prints "pressed <action>".
// A line: title|wait text|status|bar position of low-high|cancel shown or hidden
// Before the first such line, and again whenever they change: "window: " and
// the dialog's own text, and "styles: " with the drawing styles of the
// title, the wait text and the status line, such as
// "center noprefix|center noprefix|center noprefix pathellipsis".
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>

#include "print_line.h"

namespace {

constexpr int kStatusId = 20301;
constexpr int kTitleId = 20302;
constexpr int kWaitId = 20303;
constexpr int kBarId = 20304;

// The progress dialog: a dialog-class window holding the main bar.
BOOL CALLBACK FindDialog(HWND window, LPARAM found) {
    wchar_t className[32] = {};
    ::GetClassNameW(window, className, 32);
    if (std::wstring(className) == L"#32770" && ::GetDlgItem(window, kBarId)) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

HWND ProgressDialog() {
    HWND found = nullptr;
    ::EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&found));
    return found;
}

std::wstring Text(HWND dialog, int id) {
    wchar_t text[1024] = {};
    ::GetDlgItemTextW(dialog, id, text, 1024);
    return text;
}

std::wstring Snapshot(HWND dialog) {
    const HWND bar = ::GetDlgItem(dialog, kBarId);
    // Results by value only: a pointer would not cross into the program.
    DWORD_PTR position = 0;
    DWORD_PTR low = 0;
    DWORD_PTR high = 0;
    ::SendMessageTimeoutW(bar, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 2000, &position);
    ::SendMessageTimeoutW(bar, PBM_GETRANGE, TRUE, 0, SMTO_ABORTIFHUNG, 2000, &low);
    ::SendMessageTimeoutW(bar, PBM_GETRANGE, FALSE, 0, SMTO_ABORTIFHUNG, 2000, &high);
    const HWND cancel = ::GetDlgItem(dialog, IDCANCEL);
    return Text(dialog, kTitleId) + L"|" + Text(dialog, kWaitId) + L"|" + Text(dialog, kStatusId) + L"|" +
           std::to_wstring(position) + L" of " + std::to_wstring(low) + L"-" + std::to_wstring(high) + L"|cancel " +
           (cancel && ::IsWindowVisible(cancel) ? L"shown" : L"hidden");
}

std::wstring StyleOf(HWND dialog, int id) {
    const LONG style = ::GetWindowLongW(::GetDlgItem(dialog, id), GWL_STYLE);
    std::wstring words;
    switch (style & SS_TYPEMASK) {
        case SS_LEFT: words = L"left"; break;
        case SS_CENTER: words = L"center"; break;
        case SS_RIGHT: words = L"right"; break;
        default: words = L"type " + std::to_wstring(style & SS_TYPEMASK);
    }
    if (style & SS_NOPREFIX) words += L" noprefix";
    switch (style & SS_ELLIPSISMASK) {
        case SS_ENDELLIPSIS: words += L" endellipsis"; break;
        case SS_PATHELLIPSIS: words += L" pathellipsis"; break;
        case SS_WORDELLIPSIS: words += L" wordellipsis"; break;
    }
    return words;
}

std::wstring Looks(HWND dialog) {
    wchar_t text[256] = {};
    ::GetWindowTextW(dialog, text, 256);
    return std::wstring(L"window: ") + text + L"\nstyles: " + StyleOf(dialog, kTitleId) + L"|" +
           StyleOf(dialog, kWaitId) + L"|" + StyleOf(dialog, kStatusId);
}

// Stops the job as a user would; false for an unknown action.
bool Press(HWND dialog, const std::wstring& action) {
    const HWND cancel = ::GetDlgItem(dialog, IDCANCEL);
    if (action == L"cancel") return ::PostMessageW(cancel, BM_CLICK, 0, 0) != 0;
    if (action == L"escape") {
        const LPARAM down = 1 | (::MapVirtualKeyW(VK_ESCAPE, MAPVK_VK_TO_VSC) << 16);
        return ::PostMessageW(cancel, WM_KEYDOWN, VK_ESCAPE, down) != 0 &&
               ::PostMessageW(cancel, WM_KEYUP, VK_ESCAPE, down | 0xC0000000) != 0;
    }
    if (action == L"close") return ::PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0) != 0;
    return false;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2 && argc != 3) return 2;
    std::wstring action = argc == 3 ? argv[2] : L"";
    const HANDLE ready =
        ::CreateFileW(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (ready == INVALID_HANDLE_VALUE) return 2;
    ::CloseHandle(ready);

    HWND dialog = nullptr;
    for (int waited = 0; waited < 6000 && !dialog; ++waited) {
        dialog = ProgressDialog();
        if (!dialog) ::Sleep(10);
    }
    if (!dialog) return 1;
    std::wstring last;
    std::wstring lastLooks;
    int refusedPresses = 0;
    for (int waited = 0; waited < 60000; ++waited) {
        if (!::IsWindow(dialog)) {
            Print(L"closed");
            return 0;
        }
        const std::wstring looks = Looks(dialog);
        if (looks != lastLooks && ::IsWindow(dialog)) {
            Print(looks);
            lastLooks = looks;
        }
        const std::wstring now = Snapshot(dialog);
        if (now != last && ::IsWindow(dialog)) {
            Print(now);
            last = now;
        }
        if (!action.empty() && !Text(dialog, kStatusId).empty()) {
            // Wine has been seen to refuse such a post once while the
            // dialog was at work, for a reason not known: the watcher says
            // so and, as a user would, presses again.
            if (!Press(dialog, action)) {
                const DWORD error = ::GetLastError();
                if (refusedPresses++ == 0) Print(L"press refused, error " + std::to_wstring(error));
                if (refusedPresses > 100) return 2;
            } else {
                Print(L"pressed " + action);
                action.clear();
            }
        }
        ::Sleep(10);
    }
    return 3;
}
