// Help on Linux: the desktop's own viewer for HTML pages when there is a
// desktop, otherwise the document's plain text on standard error.

#include "help_viewer.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "embedded.h"
#include "file_descriptor.h"
#include "program_search.h"
#include "text.h"

namespace TesselLibrary {

namespace {

using Posix::UniqueFd;

// Starts `viewer path` as a grandchild that init adopts, so the viewer is
// neither waited for nor left behind as a zombie. True when the viewer
// program itself started (a close-on-exec pipe stays silent on success).
bool LaunchDetached(const std::string& viewer, std::string path) {
    UniqueFd nullDevice(::open("/dev/null", O_RDWR | O_CLOEXEC));
    int ends[2];
    if (!nullDevice.valid() || ::pipe2(ends, O_CLOEXEC) != 0) return false;
    UniqueFd readEnd(ends[0]);
    UniqueFd writeEnd(ends[1]);
    // Everything the children need is made before forking: after fork they
    // may only make async-signal-safe calls.
    std::string program = viewer;
    std::vector<char*> argv{program.data(), path.data(), nullptr};

    const pid_t child = ::fork();
    if (child < 0) return false;
    if (child == 0) {
        const pid_t grandchild = ::fork();
        if (grandchild == 0) {
            // The viewer starts with the signal state of a fresh program, not
            // with the interrupts this one blocks and the signals it ignores.
            sigset_t none;
            sigemptyset(&none);
            ::sigprocmask(SIG_SETMASK, &none, nullptr);
            ::signal(SIGPIPE, SIG_DFL);
            ::signal(SIGXFSZ, SIG_DFL);
            ::setsid();
            ::dup2(nullDevice.get(), STDIN_FILENO);
            ::dup2(nullDevice.get(), STDOUT_FILENO);
            ::dup2(nullDevice.get(), STDERR_FILENO);
            ::execv(program.c_str(), argv.data());
            const int error = errno;
            [[maybe_unused]] const ssize_t ignored = ::write(writeEnd.get(), &error, sizeof error);
            ::_exit(127);
        }
        if (grandchild < 0) {
            const int error = errno;
            [[maybe_unused]] const ssize_t ignored = ::write(writeEnd.get(), &error, sizeof error);
        }
        ::_exit(0);
    }
    writeEnd.reset();
    while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
    int error = 0;
    ssize_t count;
    while ((count = ::read(readEnd.get(), &error, sizeof error)) < 0 && errno == EINTR) {
    }
    return count == 0;
}

void WriteTextToStandardError() {
    Posix::WriteAll(STDERR_FILENO, Embedded::helpText, Embedded::helpText_size);
}

}  // namespace

void DisplayHelp(const std::u16string& path) {
    if (Posix::InGraphicalSession()) {
        const std::string viewer = Posix::FindProgram("xdg-open");
        if (!viewer.empty() && LaunchDetached(viewer, ToSystemBytes(path))) return;
    }
    WriteTextToStandardError();
}

}  // namespace TesselLibrary
