// The clipboard on Linux desktops belongs to the display server; the usual
// command-line tools (wl-copy, xclip, xsel) take text on their standard
// input and keep serving it from a background process of their own.

#include "clipboard.h"

#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "file_descriptor.h"
#include "program_search.h"
#include "text.h"

extern char** environ;

namespace TesselLibrary {

namespace {

using Clock = std::chrono::steady_clock;
using Posix::UniqueFd;

// A tool that reads its input and forks its server at once; one that has
// not done so by then is stuck, and the digest is not worth hanging for.
constexpr auto kToolTimeout = std::chrono::seconds(10);

struct ClipboardTool {
    std::string program;
    std::vector<std::string> putArguments;    // the text arrives on standard input
    std::vector<std::string> clearArguments;  // leaves the clipboard empty
};

// Chosen by OpenClipboard, released by PutTextOnClipboard.
std::optional<ClipboardTool> openedTool;

std::optional<ClipboardTool> FindClipboardTool() {
    if (!Posix::EnvironmentValue("WAYLAND_DISPLAY").empty()) {
        const std::string program = Posix::FindProgram("wl-copy");
        if (!program.empty()) {
            return ClipboardTool{program,
                                 {"wl-copy", "--type", "text/plain;charset=utf-8"},
                                 {"wl-copy", "--clear"}};
        }
    }
    // Also reached in a Wayland session without wl-copy: its X server
    // shares the clipboard.
    if (!Posix::EnvironmentValue("DISPLAY").empty()) {
        std::string program = Posix::FindProgram("xclip");
        if (!program.empty()) {
            return ClipboardTool{program,
                                 {"xclip", "-selection", "clipboard", "-in"},
                                 {"xclip", "-selection", "clipboard", "-in"}};
        }
        program = Posix::FindProgram("xsel");
        if (!program.empty()) {
            return ClipboardTool{program,
                                 {"xsel", "--clipboard", "--input"},
                                 {"xsel", "--clipboard", "--clear"}};
        }
    }
    return std::nullopt;
}

class SpawnSetup {
public:
    SpawnSetup() {
        ready_ = ::posix_spawn_file_actions_init(&actions_) == 0;
        if (::posix_spawnattr_init(&attributes_) != 0) {
            if (ready_) ::posix_spawn_file_actions_destroy(&actions_);
            ready_ = false;
            return;
        }
        ownsAttributes_ = true;
    }
    ~SpawnSetup() {
        if (ready_) ::posix_spawn_file_actions_destroy(&actions_);
        if (ownsAttributes_) ::posix_spawnattr_destroy(&attributes_);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    // Standard input from `input` (or /dev/null when -1), output and errors
    // to /dev/null, and the signal state a fresh program expects.
    bool Prepare(int input) {
        if (!ready_) return false;
        bool ok = input >= 0 ? ::posix_spawn_file_actions_adddup2(&actions_, input, STDIN_FILENO) == 0
                             : ::posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, "/dev/null", O_RDONLY, 0) == 0;
        ok = ok && ::posix_spawn_file_actions_addopen(&actions_, STDOUT_FILENO, "/dev/null", O_WRONLY, 0) == 0;
        ok = ok && ::posix_spawn_file_actions_adddup2(&actions_, STDOUT_FILENO, STDERR_FILENO) == 0;
        sigset_t none, pipeSignal;
        sigemptyset(&none);
        sigemptyset(&pipeSignal);
        sigaddset(&pipeSignal, SIGPIPE);
        ok = ok && ::posix_spawnattr_setsigmask(&attributes_, &none) == 0;
        ok = ok && ::posix_spawnattr_setsigdefault(&attributes_, &pipeSignal) == 0;
        ok = ok && ::posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) == 0;
        return ok;
    }

    const posix_spawn_file_actions_t* actions() const { return &actions_; }
    const posix_spawnattr_t* attributes() const { return &attributes_; }

private:
    posix_spawn_file_actions_t actions_{};
    posix_spawnattr_t attributes_{};
    bool ready_ = false;
    bool ownsAttributes_ = false;
};

// The process id, or -1 when the tool could not be started.
pid_t StartTool(const std::string& program, std::vector<std::string> arguments, int input) {
    SpawnSetup setup;
    if (!setup.Prepare(input)) return -1;
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (::posix_spawn(&pid, program.c_str(), setup.actions(), setup.attributes(), argv.data(), environ) != 0) {
        return -1;
    }
    return pid;
}

// Sends all bytes unless the reader goes away or stops reading. A socket
// rather than a pipe, so that a tool that died costs an error, not SIGPIPE.
void SendAll(int fd, const std::string& bytes, Clock::time_point deadline) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return;
        pollfd request{fd, POLLOUT, 0};
        const int ready = ::poll(&request, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0 || (request.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) return;
        const ssize_t count =
            ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (count < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
            return;
        }
        sent += static_cast<std::size_t>(count);
    }
}

// Reaps the tool itself; its background server is not ours to wait for.
void WaitForTool(pid_t pid, Clock::time_point deadline) {
    while (true) {
        const pid_t result = ::waitpid(pid, nullptr, WNOHANG);
        if (result == pid || (result < 0 && errno != EINTR)) return;
        if (Clock::now() >= deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ::kill(pid, SIGKILL);
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
}

void RunTool(const ClipboardTool& tool, const std::string& text) {
    const Clock::time_point deadline = Clock::now() + kToolTimeout;
    if (text.empty()) {
        const pid_t pid = StartTool(tool.program, tool.clearArguments, -1);
        if (pid > 0) WaitForTool(pid, deadline);
        return;
    }
    int ends[2];
    // Close-on-exec keeps our end out of the tool, which would otherwise
    // never see the end of its input.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return;
    UniqueFd ours(ends[0]);
    UniqueFd theirs(ends[1]);
    const pid_t pid = StartTool(tool.program, tool.putArguments, theirs.get());
    theirs.reset();
    if (pid <= 0) return;
    SendAll(ours.get(), text, deadline);
    ours.reset();
    WaitForTool(pid, deadline);
}

}  // namespace

bool OpenClipboard() {
    openedTool = FindClipboardTool();
    return openedTool.has_value();
}

void PutTextOnClipboard(const std::u16string& text) {
    if (!openedTool) return;
    const ClipboardTool tool = std::move(*openedTool);
    openedTool.reset();
    RunTool(tool, ToSystemBytes(text));
}

}  // namespace TesselLibrary
