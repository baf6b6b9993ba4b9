// What another process does at the very moment the program opens a chosen
// name: loaded into the program (LD_PRELOAD), it acts just before the
// program's open(2) or openat(2) of that name, then lets the open go on. So
// a race is made certain, not a matter of timing.
//
// Another user who renames things in their own folder while a root run
// works in it: one swap.
//   SUMVANE_SWAP_NAME    the last name of the path opened that sets it off
//                        ("*" and text: any name starting with that text;
//                        several, separated by "|")
//   SUMVANE_SWAP_COUNT   set off at that open of the name (default 1)
//   SUMVANE_SWAP_FOLDER  the folder that is moved away ...
//   SUMVANE_SWAP_MOVED   ... to this path,
//   SUMVANE_SWAP_LINK    and a link to this path put in its place.
// A slow disk, or a file that takes long: the open waits.
//   SUMVANE_PAUSE_NAME     as SUMVANE_SWAP_NAME
//   SUMVANE_PAUSE_SECONDS  how long the open of it waits
// A disk that cannot flush a folder's entries:
//   SUMVANE_FAIL_FOLDER_SYNC  set: fsync(2) of a folder fails with EIO
#include <dlfcn.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <atomic>
#include <string>

namespace {

std::atomic<int> seen{0};
std::atomic<bool> done{false};

std::string LastName(const char* path) {
    std::string text = path ? path : "";
    while (text.size() > 1 && text.back() == '/') text.pop_back();
    const std::size_t slash = text.rfind('/');
    return slash == std::string::npos ? text : text.substr(slash + 1);
}

bool Matches(const char* variable, const std::string& name) {
    const char* wanted = getenv(variable);
    if (!wanted) return false;
    std::string list = wanted;
    for (std::size_t start = 0;;) {
        const std::size_t bar = list.find('|', start);
        const std::string one = list.substr(start, bar == std::string::npos ? std::string::npos : bar - start);
        const bool prefix = !one.empty() && one[0] == '*';
        if (prefix ? name.rfind(one.substr(1), 0) == 0 : name == one) return true;
        if (bar == std::string::npos) return false;
        start = bar + 1;
    }
}

void ActAt(const char* path) {
    if (const char* seconds = getenv("SUMVANE_PAUSE_SECONDS"); seconds && Matches("SUMVANE_PAUSE_NAME", LastName(path)))
        sleep(static_cast<unsigned>(atoi(seconds)));
    if (done || !Matches("SUMVANE_SWAP_NAME", LastName(path))) return;
    const char* count = getenv("SUMVANE_SWAP_COUNT");
    if (++seen < (count ? atoi(count) : 1)) return;
    if (done.exchange(true)) return;
    const char* folder = getenv("SUMVANE_SWAP_FOLDER");
    const char* moved = getenv("SUMVANE_SWAP_MOVED");
    const char* link = getenv("SUMVANE_SWAP_LINK");
    if (!folder || !moved || !link || rename(folder, moved) != 0 || symlink(link, folder) != 0) {
        static const char failed[] = "at_open: the swap failed\n";
        (void)!write(2, failed, sizeof failed - 1);
    }
}

template <typename Function>
Function Next(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

mode_t ModeOf(int flags, va_list arguments) {
    return (flags & O_CREAT) || (flags & __O_TMPFILE) == __O_TMPFILE ? static_cast<mode_t>(va_arg(arguments, int)) : 0;
}

}  // namespace

extern "C" {

int open(const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = ModeOf(flags, arguments);
    va_end(arguments);
    ActAt(path);
    static const auto real = Next<int (*)(const char*, int, ...)>("open");
    return real(path, flags, mode);
}

int open64(const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = ModeOf(flags, arguments);
    va_end(arguments);
    ActAt(path);
    static const auto real = Next<int (*)(const char*, int, ...)>("open64");
    return real(path, flags, mode);
}

int openat(int folder, const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = ModeOf(flags, arguments);
    va_end(arguments);
    ActAt(path);
    static const auto real = Next<int (*)(int, const char*, int, ...)>("openat");
    return real(folder, path, flags, mode);
}

int openat64(int folder, const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = ModeOf(flags, arguments);
    va_end(arguments);
    ActAt(path);
    static const auto real = Next<int (*)(int, const char*, int, ...)>("openat64");
    return real(folder, path, flags, mode);
}

int fsync(int fd) {
    struct stat status {};
    if (getenv("SUMVANE_FAIL_FOLDER_SYNC") && fstat(fd, &status) == 0 && S_ISDIR(status.st_mode)) {
        errno = EIO;
        return -1;
    }
    static const auto real = Next<int (*)(int)>("fsync");
    return real(fd);
}

}  // extern "C"
