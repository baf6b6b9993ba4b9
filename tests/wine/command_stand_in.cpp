// Test helper for the Windows end-to-end cases: stands in, under their own
// names and first on the PATH, for the system commands that the help's
// command lines start, so that each line can be run as a user types it.
//   schtasks.exe /create ... /tr <command line> ...
//       runs the task's command line at once, as Task Scheduler does when
//       the task comes due (in the system folder), and exits with its exit
//       code; 2 when the task's program cannot be started
//   schtasks.exe /run ... or /delete ...: exits with 0
//   notepad.exe <file>: exits with 0 when <file> is a file, 1 otherwise
// Anything else exits with 3.
#include <windows.h>
#include <shellapi.h>

#include <cwctype>
#include <string>

namespace {

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

// The file name this copy runs under, without its folder and ".exe".
std::wstring OwnName() {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring name = path;
    name = name.substr(name.find_last_of(L"\\/") + 1);
    const std::size_t dot = name.rfind(L'.');
    return Lower(dot == std::wstring::npos ? name : name.substr(0, dot));
}

int RunTask(std::wstring command) {
    wchar_t system[MAX_PATH] = {};
    ::GetSystemDirectoryW(system, MAX_PATH);
    STARTUPINFOW start{};
    start.cb = sizeof start;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, system, &start, &process))
        return 2;
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 2;
    ::GetExitCodeProcess(process.hProcess, &code);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return static_cast<int>(code);
}

}  // namespace

int wmain() {
    // Split as the real commands split their command lines.
    int count = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!argv) return 3;
    const std::wstring name = OwnName();
    if (name == L"notepad") {
        if (count != 2) return 1;
        const DWORD attributes = ::GetFileAttributesW(argv[1]);
        return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY) ? 0 : 1;
    }
    if (name == L"schtasks" && count >= 2) {
        const std::wstring verb = Lower(argv[1]);
        if (verb == L"/run" || verb == L"/delete") return 0;
        if (verb != L"/create") return 3;
        for (int k = 2; k + 1 < count; ++k) {
            if (Lower(argv[k]) == L"/tr") return RunTask(argv[k + 1]);
        }
    }
    return 3;
}
