// Standard output, standard error, the command line and console interrupts
// on Windows.
#include <windows.h>

#include "console.h"
#include "file_handle.h"
#include "text.h"
#include "wide.h"

namespace TesselLibrary {

namespace {

// WriteConsoleW on a console; otherwise (a file or a pipe, where it writes
// nothing) the UTF-8 bytes.
void WriteText(DWORD which, const std::u16string& text) {
    const HANDLE out = ::GetStdHandle(which);
    if (out == nullptr || out == INVALID_HANDLE_VALUE) return;
    DWORD mode = 0;
    if (::GetConsoleMode(out, &mode)) {
        DWORD written = 0;
        ::WriteConsoleW(out, Win32::Wide(text), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    const std::string bytes = ToSystemBytes(text);
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        if (!::WriteFile(out, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written, nullptr) ||
            written == 0)
            return;
        done += written;
    }
}

// Runs on a thread of its own while the others go on: it removes what an
// unfinished replacement left and ends the process at once, so no other
// thread writes after the clean-up.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
    RemoveTemporaryFiles();
    ::TerminateProcess(::GetCurrentProcess(), 1);
    return TRUE;
}

}  // namespace

void PrepareProcess(int, char**) { ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }

void WriteConsoleText(const std::u16string& text) { WriteText(STD_OUTPUT_HANDLE, text); }

void WriteErrorText(const std::u16string& text) { WriteText(STD_ERROR_HANDLE, text); }

bool StandardErrorIsTerminal() {
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

std::optional<std::vector<std::u16string>> SplitProcessArguments() { return std::nullopt; }

std::u16string ProcessCommandLine() { return Win32::Utf16(::GetCommandLineW()); }

}  // namespace TesselLibrary
