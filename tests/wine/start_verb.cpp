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
//   start_verb.exe watch <file> <count>
//       through the shell, <count> times one after another, while a second
//       thread looks at the screen every 2 ms for any window other than the
//       program's box (a console window that flashes up and goes)
// Prints "console: none" or "console: N processes", then "exit: N"; watching,
// "starts: N" (those that showed their box and exited with 0) and "other
// windows: none" or each other window seen, as its class and title.
// Exit 0 when all of that could be found out.
#include <windows.h>
#include <shellapi.h>

#include <atomic>
#include <cstdio>
#include <set>
#include <string>
#include <thread>

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
    if (owner == search.process && std::wstring(className) == L"#32770" && std::wstring(title) == L"Compute MD5 Hash" &&
        ::IsWindowVisible(window)) {
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

// Starts the verb on `file` through the shell; the process handle, or null
// after saying why.
HANDLE StartVerb(const wchar_t* file) {
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_CLASSNAME | SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = L"Sumvane";
    info.lpFile = file;
    info.lpClass = L"*";
    info.nShow = SW_SHOWNORMAL;
    if (!::ShellExecuteExW(&info) || !info.hProcess) {
        Print(L"the shell did not start the verb: error " + std::to_wstring(::GetLastError()));
        return nullptr;
    }
    return info.hProcess;
}

int ThroughTheShell(const wchar_t* file) {
    const HANDLE process = StartVerb(file);
    if (!process) return 1;
    const DWORD id = ::GetProcessId(process);
    const HWND box = WaitForBox(id);
    if (!box) {
        Print(L"no box came");
        ::TerminateProcess(process, 9);
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
    Print(L"exit: " + std::to_wstring(Finish(box, process)));
    ::CloseHandle(process);
    return 0;
}

// The windows on the screen that are not the program's box nor this
// helper's, as "class \"title\"", seen by polling every 2 ms.
class WindowWatcher {
public:
    WindowWatcher() : thread_([this] { Watch(); }) {}
    ~WindowWatcher() { Stop(); }
    void Stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    const std::set<std::wstring>& seen() const { return seen_; }

private:
    static BOOL CALLBACK Look(HWND window, LPARAM argument) {
        if (!::IsWindowVisible(window)) return TRUE;
        DWORD owner = 0;
        ::GetWindowThreadProcessId(window, &owner);
        if (owner == ::GetCurrentProcessId()) return TRUE;
        wchar_t className[64] = {};
        wchar_t title[128] = {};
        ::GetClassNameW(window, className, 64);
        ::GetWindowTextW(window, title, 128);
        const std::wstring name = className;
        // The program's box; the desktop and the taskbar of Wine's own.
        if ((name == L"#32770" && std::wstring(title) == L"Compute MD5 Hash") || name == L"#32769" ||
            name == L"Shell_TrayWnd")
            return TRUE;
        reinterpret_cast<std::set<std::wstring>*>(argument)->insert(name + L" \"" + title + L"\"");
        return TRUE;
    }
    void Watch() {
        while (!stop_) {
            ::EnumWindows(Look, reinterpret_cast<LPARAM>(&seen_));
            ::Sleep(2);
        }
    }
    std::atomic<bool> stop_{false};
    std::set<std::wstring> seen_;
    std::thread thread_;  // last: it starts using the members above at once
};

int WatchingTheScreen(const wchar_t* file, int count) {
    WindowWatcher watcher;
    int started = 0;
    for (int round = 0; round < count; ++round) {
        const HANDLE process = StartVerb(file);
        if (!process) break;
        const HWND box = WaitForBox(::GetProcessId(process));
        if (!box) {
            Print(L"no box came");
            ::TerminateProcess(process, 9);
            ::CloseHandle(process);
            break;
        }
        if (Finish(box, process) == 0) ++started;
        ::CloseHandle(process);
    }
    watcher.Stop();
    Print(L"starts: " + std::to_wstring(started));
    if (watcher.seen().empty()) Print(L"other windows: none");
    for (const std::wstring& window : watcher.seen()) Print(L"other window: " + window);
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
    if (argc == 4 && std::wstring(argv[1]) == L"watch") return WatchingTheScreen(argv[2], std::stoi(argv[3]));
    return 2;
}
