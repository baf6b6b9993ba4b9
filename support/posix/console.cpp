// Standard output and error, the process's arguments, and its signals on
// POSIX.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string>
#include <system_error>
#include <thread>

#include "console.h"
#include "file_descriptor.h"
#include "file_handle.h"
#include "standard_error.h"
#include "text.h"

namespace TesselLibrary {

namespace {

// The arguments as the entry point was handed them, the program path left
// out. Written once, before any other thread exists.
std::vector<std::u16string>& KeptArguments() {
    static std::vector<std::u16string> arguments;
    return arguments;
}

std::atomic<Posix::ErrorTextRoute> errorTextRoute{nullptr};

// SIGINT and SIGTERM are blocked in every thread and taken here, outside
// any signal handler, so the clean-up may lock and allocate like any code.
void WaitForInterrupt(sigset_t signals) {
    int signal = 0;
    while (::sigwait(&signals, &signal) != 0) {
    }
    RemoveTemporaryFiles();
    ::_exit(1);
}

}  // namespace

void PrepareProcess(int argc, char** argv) {
    std::vector<std::u16string>& arguments = KeptArguments();
    arguments.clear();
    for (int i = 1; i < argc && argv[i] != nullptr; ++i) arguments.push_back(FromSystemBytes(argv[i]));

    ::signal(SIGPIPE, SIG_IGN);
    ::signal(SIGXFSZ, SIG_IGN);

    sigset_t interrupts;
    sigemptyset(&interrupts);
    sigaddset(&interrupts, SIGINT);
    sigaddset(&interrupts, SIGTERM);
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

void Posix::SetErrorTextRoute(ErrorTextRoute route) { errorTextRoute = route; }

// A closed stream is simply not seen: what cannot be written is dropped.
void WriteConsoleText(const std::u16string& text) { Posix::WriteAll(STDOUT_FILENO, ToSystemBytes(text)); }

void WriteErrorText(const std::u16string& text) {
    const std::string bytes = ToSystemBytes(text);
    const Posix::ErrorTextRoute route = errorTextRoute;
    if (route && route(bytes)) return;
    Posix::WriteAll(STDERR_FILENO, bytes);
}

bool StandardErrorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

std::optional<std::vector<std::u16string>> SplitProcessArguments() { return KeptArguments(); }

std::u16string ProcessCommandLine() { return {}; }

}  // namespace TesselLibrary
