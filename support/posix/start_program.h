// Starting another program, for the services that hand work to desktop
// tools (viewer, clipboard, notifications). Every program starts with the
// signal state of a fresh program (nothing blocked, SIGPIPE and SIGXFSZ at
// their defaults) and with its output and errors going nowhere, so it can
// neither be taken for this program's output nor be stopped by it.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace TesselLibrary::Posix {

// Starts `program` (a full path) with `arguments` (its argv, the first
// entry included), standard input from `input` (from /dev/null when -1).
// The started program's process id, to be passed to WaitForProgram; -1
// when the program itself could not be started.
pid_t StartProgram(const std::string& program, const std::vector<std::string>& arguments, int input = -1);

// Starts `program` in a session of its own, as a process that is not this
// one's child: it is never waited for, may outlive this process, and leaves
// nothing behind to reap. True when the program itself started.
bool StartDetachedProgram(const std::string& program, const std::vector<std::string>& arguments);

// Reaps a program StartProgram started; one still running at `deadline` is
// killed first.
void WaitForProgram(pid_t pid, std::chrono::steady_clock::time_point deadline);

}  // namespace TesselLibrary::Posix
