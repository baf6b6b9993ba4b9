// Standard output, standard error, the command line and console interrupts
// on Windows.
#include <windows.h>

#include <algorithm>
#include <mutex>

#include "console.h"
#include "interrupt.h"
#include "interrupt_action.h"
#include "platform.h"
#include "replacement_file.h"
#include "tessel_log.h"
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

// Whether this program was built for the window subsystem, as its own
// header says.
bool BuiltAsWindowProgram() {
    const auto* image = reinterpret_cast<const BYTE*>(::GetModuleHandleW(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image);
    const auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(image + dos->e_lfanew);
    return headers->OptionalHeader.Subsystem == IMAGE_SUBSYSTEM_WINDOWS_GUI;
}

// The receiver of the window program's lines, and its lock. Never
// destroyed: an interrupt may come while the process ends.
std::mutex& ReceiverLock() {
    static std::mutex& lock = *new std::mutex;
    return lock;
}
UnheardLineReceiver receiver = nullptr;
void* receiverContext = nullptr;

// Each line of `text` to the receiver, or to the log of such lines.
void SayWhereHeard(const std::u16string& text) {
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find_first_of(u"\r\n", start), text.size());
        const std::u16string line = text.substr(start, end - start);
        start = end + 1;
        if (line.empty()) continue;
        std::lock_guard<std::mutex> lock(ReceiverLock());
        if (receiver) {
            receiver(receiverContext, line);
        } else {
            WriteUnheardLine(line);
        }
    }
}

// The line an interrupt writes last, with its line end, and its lock.
// Never destroyed: an interrupt may come while the process ends.
std::mutex& NoticeLock() {
    static std::mutex& lock = *new std::mutex;
    return lock;
}
std::u16string& Notice() {
    static std::u16string& notice = *new std::u16string;
    return notice;
}

// Puts `line` in place as the notice; returns the one it replaces.
std::u16string ExchangeNotice(const std::u16string& line) {
    std::u16string notice = line.empty() ? std::u16string() : line + u"\r\n";
    std::lock_guard<std::mutex> lock(NoticeLock());
    Notice().swap(notice);
    if (!notice.empty()) notice.resize(notice.size() - 2);  // without its line end, as it was given
    return notice;
}

// Runs on a thread of its own while the others go on.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
    Win32::EndAsInterrupted();
}

}  // namespace

// Removes what an unfinished replacement left, says so and ends the process
// at once, so no other thread writes after the clean-up.
void Win32::EndAsInterrupted() {
    RunInterruptAction();
    RemoveTemporaryFiles();
    {
        std::lock_guard<std::mutex> lock(NoticeLock());
        if (!Notice().empty()) WriteErrorText(Notice());
    }
    ::TerminateProcess(::GetCurrentProcess(), 1);
    // TerminateProcess on the process itself does not return.
    for (;;) ::Sleep(INFINITE);
}

void PrepareProcess(int, char**) { ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }

InterruptNoticeScope::InterruptNoticeScope(const std::u16string& line) : previous_(ExchangeNotice(line)) {}

InterruptNoticeScope::~InterruptNoticeScope() { ExchangeNotice(previous_); }

void WriteConsoleText(const std::u16string& text) { WriteText(STD_OUTPUT_HANDLE, text); }

void WriteErrorText(const std::u16string& text) {
    if (StandardErrorUnheard()) {
        SayWhereHeard(text);
    } else {
        WriteText(STD_ERROR_HANDLE, text);
    }
}

std::u16string ProgramName() { return StandardErrorUnheard() ? u"SumvaneW.exe" : kExecutableName; }

bool StandardErrorUnheard() {
    static const bool unheard = BuiltAsWindowProgram();
    return unheard;
}

void ReceiveUnheardLines(UnheardLineReceiver lineReceiver, void* context) {
    std::lock_guard<std::mutex> lock(ReceiverLock());
    receiver = lineReceiver;
    receiverContext = context;
}

bool StandardErrorIsTerminal() {
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

std::optional<std::vector<std::u16string>> SplitProcessArguments() { return std::nullopt; }

std::u16string ProcessCommandLine() { return Win32::Utf16(::GetCommandLineW()); }

void LeaveUnsharedConsole() {
    // Room for two: a second process (the command prompt) is all that counts.
    DWORD processes[2] = {};
    if (::GetConsoleProcessList(processes, 2) == 1) ::FreeConsole();
}

}  // namespace TesselLibrary
