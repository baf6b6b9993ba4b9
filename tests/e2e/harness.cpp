#include "harness.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <poll.h>
#include <grp.h>
#include <pty.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <regex>
#include <stdexcept>

#ifndef SUMVANE_EXE
#define SUMVANE_EXE "sumvane"
#endif

namespace e2e {

namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string Executable() {
    const std::string fromEnv = Env("SUMVANE_EXE");
    return fromEnv.empty() ? SUMVANE_EXE : fromEnv;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

}  // namespace

bool WineMode() { return Env("SUMVANE_WINE") == "1"; }

std::string WineLoader() {
    const std::string loader = Env("SUMVANE_WINE_LOADER");
    return loader.empty() ? "wine" : loader;
}

fs::path ProgramPath() { return fs::canonical(Executable()); }

std::string Banner() {
    const std::string eol = WineMode() ? "\r\n" : "\n";
    // On Linux the banner ends its last line too, as console programs do.
    return "Sumvane v" SUMVANE_PROJECT_VERSION + eol + "Copyright (C) 2026 Brackenfold" + eol + eol +
           "https://sumvane.brackenfold.example" + (WineMode() ? "" : "\n");
}

std::string Native(const fs::path& path) {
    std::string text = path.string();
    if (!WineMode()) return text;
    if (!text.empty() && text[0] == '/') text = "Z:" + text;
    for (char& c : text) {
        if (c == '/') c = '\\';
    }
    return text;
}

std::string Sep() { return WineMode() ? "\\" : "/"; }

Sandbox::Sandbox() {
    std::string base = Env("TMPDIR");
    if (base.empty()) base = "/tmp";
    std::string pattern = base + "/sumvane-e2e-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    root_ = fs::canonical(pattern);
    // Unprivileged runs must reach what a test hands them below the root.
    fs::permissions(root_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec);
    fs::create_directories(home());
    fs::create_directories(work());
    fs::create_directories(tmp());
}

Sandbox::~Sandbox() {
    std::error_code ignored;
    // Tests leave read-only files and folders behind; make them removable.
    for (auto it = fs::recursive_directory_iterator(root_, fs::directory_options::skip_permission_denied, ignored);
         it != fs::recursive_directory_iterator(); it.increment(ignored)) {
        if (!it->is_symlink(ignored)) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
    fs::remove_all(root_, ignored);
}

fs::path Sandbox::desktop() const {
    const std::string wineDesktop = Env("SUMVANE_WINE_DESKTOP");
    if (WineMode() && !wineDesktop.empty()) return wineDesktop;
    return home() / "Desktop";
}

uid_t UnprivilegedUser() {
    const passwd* user = ::getpwnam("nobody");
    return user ? user->pw_uid : 65534;
}

gid_t UnprivilegedGroup() {
    const group* found = ::getgrnam("nogroup");
    return found ? found->gr_gid : 65534;
}

namespace {

// Whether the unprivileged user may search (a folder) or run (a program)
// `path`, as the system answers that user.
bool UnprivilegedMayEnter(const fs::path& path) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        const gid_t group = UnprivilegedGroup();
        if (::setgroups(1, &group) != 0 || ::setgid(group) != 0 || ::setuid(UnprivilegedUser()) != 0) ::_exit(2);
        ::_exit(::access(path.c_str(), X_OK) == 0 ? 0 : 1);
    }
    int status = 0;
    return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A copy of the program beside the sandboxes, in a folder of its own that
// everyone may enter, removed when the test process ends.
class ProgramCopy {
public:
    explicit ProgramCopy(const fs::path& base) {
        std::string pattern = (base / "sumvane-e2e-program-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) return;
        folder_ = pattern;
        const fs::path copy = folder_ / fs::path(Executable()).filename();
        std::error_code error;
        fs::copy_file(Executable(), copy, error);
        if (error) return;
        const auto everyone = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec;
        fs::permissions(folder_, everyone, error);
        fs::permissions(copy, everyone, error);
        if (!error) path_ = copy;
    }
    ~ProgramCopy() {
        std::error_code ignored;
        if (!folder_.empty()) fs::remove_all(folder_, ignored);
    }
    ProgramCopy(const ProgramCopy&) = delete;
    ProgramCopy& operator=(const ProgramCopy&) = delete;

    const fs::path& path() const { return path_; }  // empty when it could not be made

private:
    fs::path folder_;
    fs::path path_;
};

// The program as the unprivileged user starts it: the program itself when
// that user can reach it, otherwise a copy beside the sandbox. Empty when
// neither can be run by that user.
std::string UnprivilegedProgram(const fs::path& sandboxRoot) {
    if (::geteuid() != 0 || UnprivilegedMayEnter(Executable())) return Executable();
    static const ProgramCopy copy(sandboxRoot.parent_path());
    return !copy.path().empty() && UnprivilegedMayEnter(copy.path()) ? copy.path().string() : std::string();
}

}  // namespace

std::string Sandbox::unprivilegedUnavailable() const {
    if (::geteuid() != 0) return "";  // unprivileged already
    if (!UnprivilegedMayEnter(root_))
        return "the user nobody cannot enter " + root_.string() + " (set TMPDIR to a folder it can enter)";
    if (UnprivilegedProgram(root_).empty()) {
        return "the user nobody can run neither " + Executable() + " nor a copy of it in " +
               root_.parent_path().string();
    }
    return "";
}

void GiveToUnprivileged(const fs::path& path) {
    if (::lchown(path.c_str(), UnprivilegedUser(), UnprivilegedGroup()) != 0) throw std::runtime_error("lchown failed");
    if (!fs::is_directory(fs::symlink_status(path))) return;
    for (const auto& entry : fs::recursive_directory_iterator(path)) {
        if (::lchown(entry.path().c_str(), UnprivilegedUser(), UnprivilegedGroup()) != 0) {
            throw std::runtime_error("lchown failed");
        }
    }
}

RunResult Sandbox::Run(const std::vector<std::string>& args, const std::optional<fs::path>& cwd,
                       const std::map<std::string, std::string>& env, bool mergeErrors) const {
    RunOptions options;
    options.cwd = cwd;
    options.env = env;
    options.mergeErrors = mergeErrors;
    return Launch(args, options, false);
}

RunResult Sandbox::Run(const std::vector<std::string>& args, const RunOptions& options) const {
    return Launch(args, options, false);
}

RunResult Sandbox::RunOnTerminal(const std::vector<std::string>& args,
                                 const std::map<std::string, std::string>& env) const {
    RunOptions options;
    options.env = env;
    return RunOnTerminal(args, options);
}

RunResult Sandbox::RunOnTerminal(const std::vector<std::string>& args, RunOptions options) const {
    options.env.emplace("TERM", "xterm");
    return Launch(args, options, true);
}

RunResult Sandbox::Launch(const std::vector<std::string>& args, const RunOptions& options, bool terminal) const {
    const std::optional<fs::path>& cwd = options.cwd;
    const std::map<std::string, std::string>& env = options.env;
    const bool mergeErrors = options.mergeErrors;
    std::map<std::string, std::string> vars = {
        {"PATH", Env("PATH").empty() ? "/usr/local/bin:/usr/bin:/bin" : Env("PATH")},
        {"HOME", home().string()},
        {"TMPDIR", tmp().string()},
        {"LANG", "C.UTF-8"},
    };
    // A sanitized build reports where the sanitizer run asks it to.
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS"}) {
        if (!Env(name).empty()) vars[name] = Env(name);
    }
    if (WineMode()) {
        for (const char* name : {"WINEPREFIX", "WINEDEBUG", "WINEDLLOVERRIDES", "WINESERVER", "WINELOADER", "WINEARCH",
                                 "DISPLAY", "XAUTHORITY"}) {
            if (!Env(name).empty()) vars[name] = Env(name);
        }
        // Wine looks for its server's socket under TMPDIR: a private one
        // would start a second server on the same prefix.
        if (Env("TMPDIR").empty()) {
            vars.erase("TMPDIR");
        } else {
            vars["TMPDIR"] = Env("TMPDIR");
        }
    }
    for (const auto& [name, value] : env) {
        if (value.empty()) {
            vars.erase(name);
        } else {
            vars[name] = value;
        }
    }
    std::vector<std::string> envStrings;
    for (const auto& [name, value] : vars) envStrings.push_back(name + "=" + value);

    std::string program = Executable();
    if (!options.program.empty()) {
        program = fs::path(options.program).is_absolute() ? options.program
                                                          : (ProgramPath().parent_path() / options.program).string();
    }
    if (options.unprivileged && ::geteuid() == 0) {
        const std::string why = unprivilegedUnavailable();
        if (!why.empty()) throw std::runtime_error("no run as the unprivileged user: " + why);
        program = UnprivilegedProgram(root_);
    }
    std::vector<std::string> argv = options.wrapper;
    if (WineMode()) argv.push_back(WineLoader());
    argv.push_back(program);
    argv.insert(argv.end(), args.begin(), args.end());

    int outPipe[2], errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    if (terminal) {
        // errPipe[0] is the terminal's master side, errPipe[1] its slave.
        winsize size{};
        size.ws_row = 24;
        size.ws_col = 80;
        if (::openpty(&errPipe[0], &errPipe[1], nullptr, nullptr, &size) != 0)
            throw std::runtime_error("openpty failed");
        ::fcntl(errPipe[0], F_SETFD, FD_CLOEXEC);
        ::fcntl(errPipe[1], F_SETFD, FD_CLOEXEC);
    } else if (::pipe2(errPipe, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    if (options.outputClosed) ::close(outPipe[0]);  // writes then fail with EPIPE (and SIGPIPE)
    const std::string dir = (cwd ? *cwd : work()).string();

    std::vector<char*> argvPtrs, envPtrs;
    for (auto& a : argv) argvPtrs.push_back(a.data());
    argvPtrs.push_back(nullptr);
    for (auto& e : envStrings) envPtrs.push_back(e.data());
    envPtrs.push_back(nullptr);

    const pid_t pid = ::fork();
    if (pid == 0) {
        const int devNull = ::open("/dev/null", O_RDONLY);
        ::dup2(devNull, 0);
        ::dup2(outPipe[1], 1);
        ::dup2(mergeErrors ? outPipe[1] : errPipe[1], 2);
        if (options.errorClosed) ::close(2);
        for (const auto& [resource, value] : options.limits) {
            const rlimit limit{static_cast<rlim_t>(value), static_cast<rlim_t>(value)};
            if (::setrlimit(resource, &limit) != 0) ::_exit(125);
        }
        if (options.unprivileged && ::geteuid() == 0) {
            const gid_t group = UnprivilegedGroup();
            if (::setgroups(1, &group) != 0 || ::setgid(group) != 0 || ::setuid(UnprivilegedUser()) != 0) ::_exit(124);
        }
        if (::chdir(dir.c_str()) != 0) ::_exit(126);
        if (terminal) {
            // A terminal for output only, unless something is typed on it.
            ::setsid();
            if (options.typing && ::ioctl(STDERR_FILENO, TIOCSCTTY, 0) != 0) ::_exit(123);
        } else {
            ::setpgid(0, 0);
        }
        ::execvpe(argvPtrs[0], argvPtrs.data(), envPtrs.data());
        ::_exit(127);
    }
    ::close(outPipe[1]);
    ::close(errPipe[1]);

    RunResult result;
    pollfd fds[2] = {{options.outputClosed ? -1 : outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open = options.outputClosed ? 1 : 2;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(300);
    bool timedOut = false;
    while (open > 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            timedOut = true;
            ::kill(terminal ? pid : -pid, SIGKILL);
            break;
        }
        if (options.whileRunning) options.whileRunning(pid);
        if (terminal && options.typing && fds[1].fd >= 0) {
            const std::string keys = options.typing(result.err);
            if (!keys.empty()) {
                [[maybe_unused]] const ssize_t typed = ::write(fds[1].fd, keys.data(), keys.size());
            }
        }
        const bool watched = options.whileRunning || options.typing;
        if (::poll(fds, 2, watched ? 20 : 1000) < 0 && errno != EINTR) break;
        for (int k = 0; k < 2; ++k) {
            if (fds[k].fd < 0 || !(fds[k].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            char buffer[65536];
            const ssize_t n = ::read(fds[k].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[k]->append(buffer, static_cast<std::size_t>(n));
            } else {
                ::close(fds[k].fd);
                fds[k].fd = -1;
                --open;
            }
        }
    }
    for (const pollfd& p : fds) {
        if (p.fd >= 0) ::close(p.fd);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (timedOut) {
        result.exitCode = -2;
    } else if (WIFEXITED(status)) {
        result.exitCode = WEXITSTATUS(status);
    } else {
        result.exitCode = 128 + WTERMSIG(status);
    }
    return result;
}

void WriteFile(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::optional<std::string> ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string LogName(const std::string& folderText) {
    std::string name;
    for (const char c : folderText) {
        if (c != '/' && c != '\\' && c != ':') name.push_back(c);
    }
    return (folderText.empty() ? std::string("Sumvane") : name) + ".txt";
}

WriteTime WriteTimeOf(const fs::path& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return {};
    WriteTime time{status.st_mtim.tv_sec, status.st_mtim.tv_nsec};
    if (WineMode()) time.nanoseconds -= time.nanoseconds % 100;
    return time;
}

void SetWriteTime(const fs::path& path, WriteTime time) {
    const struct timespec times[2] = {{static_cast<time_t>(time.seconds), time.nanoseconds},
                                      {static_cast<time_t>(time.seconds), time.nanoseconds}};
    if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) throw std::runtime_error("utimensat " + path.string());
}

std::string LocalTimeText(WriteTime time) {
    const time_t seconds = static_cast<time_t>(time.seconds);
    struct tm local {};
    ::localtime_r(&seconds, &local);
    char text[64];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

std::string MismatchDate(WriteTime file, WriteTime recordedIn) {
    return file > recordedIn ? " - Modified " + LocalTimeText(file) : " - Damaged: Date Unchanged";
}

std::string MismatchDate(const fs::path& file, const fs::path& recordedIn) {
    return MismatchDate(WriteTimeOf(file), WriteTimeOf(recordedIn));
}

std::string Lower(std::string text) {
    for (char& ch : text) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return text;
}

std::string Md5Of(const std::string& bytes) {
    unsigned char value[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(bytes.data(), bytes.size(), value, &length, EVP_md5(), nullptr);
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned int k = 0; k < length; ++k) {
        text.push_back(digits[value[k] >> 4]);
        text.push_back(digits[value[k] & 15]);
    }
    return text;
}

std::optional<std::string> LogText(const fs::path& path) {
    const auto bytes = ReadFile(path);
    if (!bytes) return std::nullopt;
    if (bytes->size() % 2 != 0) return "MALFORMED: odd byte count";
    std::string text;
    for (std::size_t i = 0; i < bytes->size(); i += 2) {
        char32_t unit = static_cast<unsigned char>((*bytes)[i]) | (static_cast<unsigned char>((*bytes)[i + 1]) << 8);
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < bytes->size()) {
            const char32_t low =
                static_cast<unsigned char>((*bytes)[i + 2]) | (static_cast<unsigned char>((*bytes)[i + 3]) << 8);
            unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        }
        AppendUtf8(text, unit);
    }
    return text;
}

std::vector<std::string> LogLines(const fs::path& path) {
    const std::optional<std::string> decoded = LogText(path);
    if (!decoded) return {};
    const std::string& text = *decoded;
    static const std::regex prefix(
        R"(^\[\d{4}-(0[1-9]|1[0-2])-(0[1-9]|[12]\d|3[01]) ([01]\d|2[0-3]):[0-5]\d:[0-5]\d\] )");
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back("MALFORMED: unterminated line: " + text.substr(start));
            break;
        }
        const std::string line = text.substr(start, end - start);
        if (!std::regex_search(line, prefix)) {
            lines.push_back("MALFORMED: " + line);
        } else {
            lines.push_back(line.substr(22));
        }
        start = end + 2;
    }
    return lines;
}

std::string TerminalText(const std::string& utf8) {
    std::string shown;
    char escape[8];
    for (std::size_t i = 0; i < utf8.size();) {
        const auto byte = static_cast<unsigned char>(utf8[i]);
        std::size_t length = byte < 0x80 ? 1 : byte < 0xE0 ? 2 : byte < 0xF0 ? 3 : 4;
        if (i + length > utf8.size()) length = 1;
        unsigned point = length == 1 ? byte : byte & (0xFF >> (length + 1));
        for (std::size_t k = 1; k < length; ++k)
            point = (point << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        if ((point < 0x20 && point != '\n') || point == 0x7F) {
            std::snprintf(escape, sizeof escape, "\\x%02x", point);
            shown += escape;
        } else if (point >= 0x80 && point <= 0x9F) {
            std::snprintf(escape, sizeof escape, "\\u%04x", point);
            shown += escape;
        } else if (point >= 0xDC80 && point <= 0xDCFF) {
            std::snprintf(escape, sizeof escape, "\\x%02x", point - 0xDC00);
            shown += escape;
        } else {
            shown.append(utf8, i, length);
        }
        i += length;
    }
    return shown;
}

std::string WithLinkOrderUnchecked() {
    const char* options = std::getenv("ASAN_OPTIONS");
    return "verify_asan_link_order=0" + (options ? ":" + std::string(options) : std::string());
}

}  // namespace e2e
