// Standard output, the process's arguments, and its signals on POSIX
// (standard error has a file of its own, standard_error.cpp).
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

#include "console.h"
#include "file_descriptor.h"
#include "interrupt_action.h"
#include "replacement_file.h"
#include "terminal_display.h"
#include "text.h"

namespace TesselLibrary {

namespace {

// The arguments as the entry point was handed them, the program path left
// out. Written once, before any other thread exists.
std::vector<std::u16string>& KeptArguments() {
    static std::vector<std::u16string> arguments;
    return arguments;
}

// The bytes an interrupted run writes last, made when the run says what it
// is about to do, so that the interrupt only has to write them; and the
// line they were made from, for the scope that restores it.
struct InterruptNotice {
    std::mutex mutex;
    std::string bytes;
    std::u16string line;
};

// Never destroyed: an interrupt may arrive while the process is ending.
InterruptNotice& Notice() {
    static InterruptNotice& notice = *new InterruptNotice;
    return notice;
}

// Puts `line` in place as the notice; returns the one it replaces.
std::u16string ExchangeNotice(const std::u16string& line) {
    std::string bytes = line.empty() ? std::string() : ToSystemBytes(line + u"\n");
    std::u16string kept = line;
    InterruptNotice& notice = Notice();
    std::lock_guard<std::mutex> lock(notice.mutex);
    notice.bytes.swap(bytes);
    notice.line.swap(kept);
    return kept;
}

// Every signal that ends a process by default and that a user, a terminal
// or a supervisor sends to stop it: the terminal's interrupt and quit keys,
// a closed terminal, a timer and the signals scripts send.
constexpr int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGALRM, SIGUSR1, SIGUSR2};

// The interrupts are blocked in every thread and taken here, outside any
// signal handler, so the clean-up may lock and allocate like any code. The
// progress display is erased, so that the notice is not drawn over.
void WaitForInterrupt(sigset_t signals) {
    int signal = 0;
    while (::sigwait(&signals, &signal) != 0) {}
    RunInterruptAction();
    RemoveTemporaryFiles();
    Posix::EraseProgressDisplay();
    {
        InterruptNotice& notice = Notice();
        std::lock_guard<std::mutex> lock(notice.mutex);
        Posix::WriteAll(STDERR_FILENO, notice.bytes);
    }
    ::_exit(1);
}

// A process started with a standard descriptor closed (2>&- in a service
// file) would hand that number to the next file it opens: a summary's
// temporary file would become standard error and receive its lines. Each
// closed one is opened on /dev/null first; where even that fails nothing is
// safe to open, and the run ends at once.
void MakeStandardDescriptorsValid() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // The lowest free number is `fd` itself: those below it are valid.
        const int opened = ::open("/dev/null", O_RDWR | O_NOCTTY);
        if (opened != fd) ::_exit(1);
    }
}

}  // namespace

void PrepareProcess(int argc, char** argv) {
    MakeStandardDescriptorsValid();
    std::vector<std::u16string>& arguments = KeptArguments();
    arguments.clear();
    for (int i = 1; i < argc && argv[i] != nullptr; ++i) arguments.push_back(FromSystemBytes(argv[i]));

    ::signal(SIGPIPE, SIG_IGN);
    ::signal(SIGXFSZ, SIG_IGN);

    sigset_t interrupts;
    sigemptyset(&interrupts);
    for (const int signal : kInterrupts) sigaddset(&interrupts, signal);
    // Threads started later inherit the mask, so only the waiting thread
    // ever takes these signals.
    if (::pthread_sigmask(SIG_BLOCK, &interrupts, nullptr) != 0) return;
    try {
        std::thread(WaitForInterrupt, interrupts).detach();
    } catch (const std::system_error&) {
        // Without the thread an interrupt must still end the run.
        ::pthread_sigmask(SIG_UNBLOCK, &interrupts, nullptr);
    }
}

InterruptNoticeScope::InterruptNoticeScope(const std::u16string& line) : previous_(ExchangeNotice(line)) {}

InterruptNoticeScope::~InterruptNoticeScope() { ExchangeNotice(previous_); }

// A closed stream is simply not seen: what cannot be written is dropped.
void WriteConsoleText(const std::u16string& text) { Posix::WriteAll(STDOUT_FILENO, ToSystemBytes(text)); }

std::optional<std::vector<std::u16string>> SplitProcessArguments() { return KeptArguments(); }

std::u16string ProcessCommandLine() { return {}; }

void LeaveUnsharedConsole() {}

}  // namespace TesselLibrary
