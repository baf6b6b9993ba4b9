// One way to start other programs: fork and exec, with the result of the
// exec reported back through a close-on-exec pipe, which stays silent when
// the program started.
#include "start_program.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "file_descriptor.h"
#include "retry.h"

namespace TesselLibrary::Posix {

namespace {

// Everything the child needs, made before forking: after fork, in a process
// with other threads, the child may only make async-signal-safe calls.
struct Launch {
    Launch(const std::string& program, const std::vector<std::string>& arguments, int input, bool detached)
        : program(program), arguments(arguments), input(input), detached(detached) {}

    std::string program;
    std::vector<std::string> arguments;
    std::vector<char*> argv;
    int input = -1;
    bool detached = false;
    UniqueFd nullDevice;
    UniqueFd reportRead, reportWrite;

    bool Prepare() {
        for (std::string& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        nullDevice = UniqueFd(::open("/dev/null", O_RDWR | O_CLOEXEC));
        int ends[2];
        if (!nullDevice.valid() || ::pipe2(ends, O_CLOEXEC) != 0) return false;
        reportRead = UniqueFd(ends[0]);
        reportWrite = UniqueFd(ends[1]);
        return true;
    }

    [[noreturn]] void Fail() const {
        const int error = errno;
        [[maybe_unused]] const ssize_t ignored = ::write(reportWrite.get(), &error, sizeof error);
        ::_exit(127);
    }

    // In the child: becomes the program.
    [[noreturn]] void Exec() const {
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::signal(SIGPIPE, SIG_DFL);
        ::signal(SIGXFSZ, SIG_DFL);
        // Out of this process's session, a detached program is not ended
        // with it by the terminal's interrupt.
        if (detached) ::setsid();
        const int in = input >= 0 ? input : nullDevice.get();
        if (::dup2(in, STDIN_FILENO) < 0 || ::dup2(nullDevice.get(), STDOUT_FILENO) < 0 ||
            ::dup2(nullDevice.get(), STDERR_FILENO) < 0) {
            Fail();
        }
        ::execv(program.c_str(), argv.data());
        Fail();
    }

    // The child's process id once the program runs in it; -1 otherwise.
    pid_t Start() {
        if (!Prepare()) return -1;
        const pid_t child = ::fork();
        if (child < 0) return -1;
        if (child == 0) {
            if (!detached) Exec();
            // A grandchild that init adopts: nothing for this process to reap.
            const pid_t grandchild = ::fork();
            if (grandchild == 0) Exec();
            if (grandchild < 0) Fail();
            ::_exit(0);
        }
        reportWrite.reset();
        if (detached) Reap(child);
        int error = 0;
        const ssize_t count = RetryOnInterrupt([&] { return ::read(reportRead.get(), &error, sizeof error); });
        if (count == 0) return child;
        if (!detached) Reap(child);
        return -1;
    }

    static void Reap(pid_t pid) {
        RetryOnInterrupt([&] { return ::waitpid(pid, nullptr, 0); });
    }
};

}  // namespace

pid_t StartProgram(const std::string& program, const std::vector<std::string>& arguments, int input) {
    return Launch(program, arguments, input, false).Start();
}

bool StartDetachedProgram(const std::string& program, const std::vector<std::string>& arguments) {
    return Launch(program, arguments, -1, true).Start() > 0;
}

void WaitForProgram(pid_t pid, std::chrono::steady_clock::time_point deadline) {
    while (true) {
        const pid_t result = RetryOnInterrupt([&] { return ::waitpid(pid, nullptr, WNOHANG); });
        if (result == pid || result < 0) return;
        if (std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ::kill(pid, SIGKILL);
    Launch::Reap(pid);
}

}  // namespace TesselLibrary::Posix
