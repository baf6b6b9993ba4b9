// Drives the built program as a user would: a private sandbox (HOME, desktop,
// temp folder, working folder) under a temporary directory, real command
// lines, and the exact bytes of what comes back.
//
// The program under test is SUMVANE_EXE (default: the Linux build). With
// SUMVANE_WINE=1 it is a Windows build run through Wine's launcher
// (SUMVANE_WINE_LOADER, default `wine`): paths are then handed over in the
// Z:\ form and the banner ends its lines with CR LF.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace e2e {

namespace fs = std::filesystem;

struct RunResult {
    int exitCode = -1;
    std::string out;  // standard output, raw bytes
    std::string err;  // standard error, raw bytes
};

bool WineMode();
// The command that starts a Windows program under Wine: SUMVANE_WINE_LOADER,
// or `wine` (a machine without 32-bit support needs Wine's 64-bit loader).
std::string WineLoader();

// The program under test, as a resolved path.
fs::path ProgramPath();

// The banner exactly as the program prints it on this platform.
std::string Banner();

// Path as the program under test spells it: unchanged on Linux, "Z:\..." under Wine.
std::string Native(const fs::path& path);
// The program's path separator: "/" on Linux, "\" under Wine.
std::string Sep();

// How a run differs from a plain one. Linux only, apart from cwd, env,
// mergeErrors and program.
struct RunOptions {
    std::optional<fs::path> cwd;                        // default: work()
    std::map<std::string, std::string> env;             // added, or removed with an empty value
    bool mergeErrors = false;                           // standard error into `out`, in order
    bool unprivileged = false;                          // as the user nobody (the tests run as root in CI);
                                                        // see Sandbox::unprivilegedUnavailable
    std::vector<std::pair<int, unsigned long>> limits;  // setrlimit(resource, value) before the start
    std::vector<std::string> wrapper;                   // a command the program is started through
    std::string program;                                // another program of the build, by its name beside
                                                        // the one under test (SumvaneW.exe), or any program by
                                                        // its full path; default: the one under test
    bool outputClosed = false;                          // standard output is a pipe nobody reads any more
    bool errorClosed = false;                           // started with standard error closed (2>&-)
    // Called about every 20 ms while the program runs; it may signal it.
    std::function<void(pid_t)> whileRunning;
    // On a terminal run, called about every 20 ms with every byte the
    // terminal has received so far; what it returns is typed on the
    // terminal's keyboard. The terminal is then the program's controlling
    // one, so "\x03" (Ctrl+C) interrupts it as it would a user's.
    std::function<std::string(const std::string& received)> typing;
};

// The user and group of unprivileged runs.
uid_t UnprivilegedUser();
gid_t UnprivilegedGroup();
// Gives `path` (and everything below it) to the unprivileged user.
void GiveToUnprivileged(const fs::path& path);

class Sandbox {
public:
    Sandbox();
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    const fs::path& root() const { return root_; }
    fs::path home() const { return root_ / "home"; }
    fs::path work() const { return root_ / "work"; }  // the default working folder
    fs::path tmp() const { return root_ / "tmp"; }
    // Where the program puts a log when no -o folder is given.
    fs::path desktop() const;

    // Why a run as the unprivileged user cannot be made here (the sandbox
    // is in a folder that user cannot enter); empty when it can. Run as
    // root, such runs start a copy of the program that user can reach
    // when the program itself lies where it cannot (a checkout under /root).
    std::string unprivilegedUnavailable() const;

    // Runs the program with `args` in `cwd` (default work()). `env` adds or
    // (with an empty value) removes variables of the private environment.
    // With `mergeErrors`, standard error goes into `out` as well, in order.
    RunResult Run(const std::vector<std::string>& args, const std::optional<fs::path>& cwd = std::nullopt,
                  const std::map<std::string, std::string>& env = {}, bool mergeErrors = false) const;

    RunResult Run(const std::vector<std::string>& args, const RunOptions& options) const;

    // The same with standard error on a pseudo-terminal (TERM=xterm, 80
    // columns): `err` holds every byte the terminal received. `env` as for Run.
    RunResult RunOnTerminal(const std::vector<std::string>& args,
                            const std::map<std::string, std::string>& env = {}) const;
    RunResult RunOnTerminal(const std::vector<std::string>& args, RunOptions options) const;

private:
    RunResult Launch(const std::vector<std::string>& args, const RunOptions& options, bool terminal) const;

    fs::path root_;
};

void WriteFile(const fs::path& path, const std::string& bytes);
std::optional<std::string> ReadFile(const fs::path& path);
// File name of the log of a run given `-f<folderText>` (or a bare argument
// whose folder part is `folderText`): the text without "/", backslash and ":",
// "Sumvane" when that leaves nothing, then ".txt".
std::string LogName(const std::string& folderText);

// ASAN_OPTIONS under which a sanitized program accepts a stand-in loaded
// before it (LD_PRELOAD).
std::string WithLinkOrderUnchecked();

// Upper-case MD5 digits of `bytes`, computed independently of the program.
std::string Md5Of(const std::string& bytes);
// Text in lower case: digits as md5sum writes them.
std::string Lower(std::string text);

// A file's last write time as the program under test sees it: nanoseconds
// on Linux, 100-nanosecond ticks under Wine.
struct WriteTime {
    long long seconds = 0;
    long nanoseconds = 0;
    auto operator<=>(const WriteTime&) const = default;
};
WriteTime WriteTimeOf(const fs::path& path);
// Sets a file's last write time (and its access time to the same).
void SetWriteTime(const fs::path& path, WriteTime time);
// "YYYY-MM-DD HH:MM:SS" of a write time, in local time.
std::string LocalTimeText(WriteTime time);
// What a mismatch line says after its digests for `file`, checked against
// the summary or companion `recordedIn`, as their dates are now: " - Modified
// <local time>" when the file was written after it, else " - Damaged: Date
// Unchanged". For the cases whose subject is something else; the cases of
// this rule set the dates themselves.
std::string MismatchDate(const fs::path& file, const fs::path& recordedIn);
std::string MismatchDate(WriteTime file, WriteTime recordedIn);

// A UTF-16LE log as UTF-8, exactly as it is (time stamps, CR LF); nullopt
// when there is no file.
std::optional<std::string> LogText(const fs::path& path);
// UTF-8 text as the program shows it on standard error: control characters
// (C0 but the line feed, DEL, C1) as "\x1b" or "\u009b", and a name's
// undecodable bytes (read from a log as U+DC80 + byte) as "\x9b" or "\xe9".
std::string TerminalText(const std::string& utf8);
// Reads a UTF-16LE log, checks every line's "[YYYY-MM-DD HH:MM:SS] " prefix
// and CR LF end, and returns the lines without prefix as UTF-8. A malformed
// log gives a line starting with "MALFORMED:" so that comparisons fail.
std::vector<std::string> LogLines(const fs::path& path);

}  // namespace e2e
