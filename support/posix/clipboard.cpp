// The clipboard on Linux desktops belongs to the display server; the usual
// command-line tools (wl-copy, xclip, xsel) take text on their standard
// input and keep serving it from a background process of their own.

#include "clipboard.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "file_descriptor.h"
#include "program_search.h"
#include "retry.h"
#include "start_program.h"
#include "text.h"

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
    if (!Posix::EnvironmentBytes("WAYLAND_DISPLAY").empty()) {
        const std::string program = Posix::FindProgram("wl-copy");
        if (!program.empty()) {
            return ClipboardTool{program, {"wl-copy", "--type", "text/plain;charset=utf-8"}, {"wl-copy", "--clear"}};
        }
    }
    // Also reached in a Wayland session without wl-copy: its X server
    // shares the clipboard.
    if (!Posix::EnvironmentBytes("DISPLAY").empty()) {
        std::string program = Posix::FindProgram("xclip");
        if (!program.empty()) {
            return ClipboardTool{
                program, {"xclip", "-selection", "clipboard", "-in"}, {"xclip", "-selection", "clipboard", "-in"}};
        }
        program = Posix::FindProgram("xsel");
        if (!program.empty()) {
            return ClipboardTool{program, {"xsel", "--clipboard", "--input"}, {"xsel", "--clipboard", "--clear"}};
        }
    }
    return std::nullopt;
}

int MillisecondsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Sends all bytes unless the reader goes away or stops reading. A socket
// rather than a pipe, so that a tool that died costs an error, not SIGPIPE.
void SendAll(int fd, const std::string& bytes, Clock::time_point deadline) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        pollfd request{fd, POLLOUT, 0};
        // An interrupted wait waits again for what is left of the time; with
        // none left, the tool is given up as if the wait had run out.
        const int ready = Posix::RetryOnInterrupt([&] {
            const int left = MillisecondsLeft(deadline);
            return left > 0 ? ::poll(&request, 1, left) : 0;
        });
        if (ready <= 0 || (request.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) return;
        const ssize_t count = Posix::RetryOnInterrupt(
            [&] { return ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT); });
        if (count < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK) continue;
            return;
        }
        sent += static_cast<std::size_t>(count);
    }
}

void RunTool(const ClipboardTool& tool, const std::string& text) {
    const Clock::time_point deadline = Clock::now() + kToolTimeout;
    if (text.empty()) {
        // The tool itself is reaped; its background server is not ours to wait for.
        const pid_t pid = Posix::StartProgram(tool.program, tool.clearArguments);
        if (pid > 0) Posix::WaitForProgram(pid, deadline);
        return;
    }
    int ends[2];
    // Close-on-exec keeps our end out of the tool, which would otherwise
    // never see the end of its input.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return;
    UniqueFd ours(ends[0]);
    UniqueFd theirs(ends[1]);
    const pid_t pid = Posix::StartProgram(tool.program, tool.putArguments, theirs.get());
    theirs.reset();
    if (pid <= 0) return;
    SendAll(ours.get(), text, deadline);
    ours.reset();
    Posix::WaitForProgram(pid, deadline);
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
