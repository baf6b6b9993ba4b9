// Test helper for the Windows end-to-end cases: starts Sumvane.exe -z on a
// file as a user would, waits for its "Compute MD5 Hash" box, says whether
// the program then has a console, clicks OK and reports how it ended. A
// window program, so that it has no console of its own to hand down.
//   start_verb.exe verb <file>
//       through the shell: the context-menu verb "Sumvane" of every file
//       type (SEE_MASK_CLASSNAME, class "*"), as the file manager runs it
//   start_verb.exe console <program> <file>
//       from a console of its own, as from a command prompt; also prints
//       what the program wrote on that console
// Prints "console: none" or "console: N processes", then "exit: N".
// Exit 0 when all of that could be found out.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>

#include "print_line.h"

namespace {

struct Search {
    DWORD process;
    HWND found;
};

BOOL CALLBACK FindBox(HWND window, LPARAM argument) {
    auto& search = *reinterpret_cast<Search*>(argument);
    wchar_t className[32] = {};
    wchar_t title[64] = {};
    ::GetClassNameW(window, className, 32);
    ::GetWindowTextW(window, title, 64);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner == search.process && std::wstring(className) == L"#32770" &&
        std::wstring(title) == L"Compute MD5 Hash" && ::IsWindowVisible(window)) {
        search.found = window;
        return FALSE;
    }
    return TRUE;
}

// The program's box, once it is up (up to 60 s).
HWND WaitForBox(DWORD process) {
    for (int waited = 0; waited < 600; ++waited) {
        Search search{process, nullptr};
        ::EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
        if (search.found) return search.found;
        ::Sleep(100);
    }
    return nullptr;
}

// Clicks OK and waits for the program to end; its exit code, or -1.
int Finish(HWND box, HANDLE process) {
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                          reinterpret_cast<LPARAM>(::GetDlgItem(box, IDOK)), SMTO_ABORTIFHUNG, 5000, &ignored);
    if (::WaitForSingleObject(process, 60000) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    ::GetExitCodeProcess(process, &code);
    return static_cast<int>(code);
}

int ThroughTheShell(const wchar_t* file) {
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_CLASSNAME | SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = L"Sumvane";
    info.lpFile = file;
    info.lpClass = L"*";
    info.nShow = SW_SHOWNORMAL;
    if (!::ShellExecuteExW(&info) || !info.hProcess) {
        Print(L"the shell did not start the verb: error " + std::to_wstring(::GetLastError()));
        return 1;
    }
    const DWORD id = ::GetProcessId(info.hProcess);
    const HWND box = WaitForBox(id);
    if (!box) {
        Print(L"no box came");
        ::TerminateProcess(info.hProcess, 9);
        return 1;
    }
    // Joining the program's console succeeds exactly when it has one.
    if (::AttachConsole(id)) {
        DWORD processes[8] = {};
        const DWORD count = ::GetConsoleProcessList(processes, 8);
        ::FreeConsole();
        Print(L"console: " + std::to_wstring(count - 1) + L" processes");
    } else {
        Print(L"console: none");
    }
    Print(L"exit: " + std::to_wstring(Finish(box, info.hProcess)));
    ::CloseHandle(info.hProcess);
    return 0;
}

int FromAConsole(const wchar_t* program, const wchar_t* file) {
    if (!::AllocConsole()) {
        Print(L"no console of its own: error " + std::to_wstring(::GetLastError()));
        return 1;
    }
    std::wstring commandLine = L"\"" + std::wstring(program) + L"\" \"-z" + file + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!::CreateProcessW(program, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &started)) {
        Print(L"cannot start the program: error " + std::to_wstring(::GetLastError()));
        return 1;
    }
    ::CloseHandle(started.hThread);
    const HWND box = WaitForBox(started.dwProcessId);
    if (!box) {
        Print(L"no box came");
        ::TerminateProcess(started.hProcess, 9);
        return 1;
    }
    DWORD processes[8] = {};
    Print(L"console: " + std::to_wstring(::GetConsoleProcessList(processes, 8)) + L" processes");
    Print(L"exit: " + std::to_wstring(Finish(box, started.hProcess)));
    ::CloseHandle(started.hProcess);

    // What the program wrote there, line by line.
    const HANDLE screen = ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, 0, nullptr);
    CONSOLE_SCREEN_BUFFER_INFO buffer{};
    if (screen == INVALID_HANDLE_VALUE || !::GetConsoleScreenBufferInfo(screen, &buffer)) return 1;
    for (SHORT row = 0; row <= buffer.dwCursorPosition.Y; ++row) {
        std::wstring line(static_cast<std::size_t>(buffer.dwSize.X), L' ');
        DWORD read = 0;
        ::ReadConsoleOutputCharacterW(screen, line.data(), static_cast<DWORD>(line.size()), COORD{0, row}, &read);
        line.resize(read);
        while (!line.empty() && line.back() == L' ') line.pop_back();
        Print(L"screen: " + line);
    }
    ::CloseHandle(screen);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 3 && std::wstring(argv[1]) == L"verb") return ThroughTheShell(argv[2]);
    if (argc == 4 && std::wstring(argv[1]) == L"console") return FromAConsole(argv[2], argv[3]);
    return 2;
}
