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
// The owner who edits a file while the program works on it: once.
//   SUMVANE_EDIT_NAME    as SUMVANE_SWAP_NAME: its first open sets it off
//   SUMVANE_EDIT_PATH    the file a line is added to at that moment
// A slow disk, or a file that takes long: the open waits.
//   SUMVANE_PAUSE_NAME     as SUMVANE_SWAP_NAME
//   SUMVANE_PAUSE_SECONDS  how long the open of it waits (a fraction too)
// A disk that cannot flush a folder's entries:
//   SUMVANE_FAIL_FOLDER_SYNC  set: fsync(2) of a folder fails with EIO
// A file system that reads one file badly (a network or FUSE mount, a
// failing disk), for reads of the descriptors opened for that name:
//   SUMVANE_READ_NAME        as SUMVANE_SWAP_NAME
//   SUMVANE_READ_SHORT       each read(2) returns at most this many bytes
//   SUMVANE_READ_REWOUND     what the reads do once the descriptor has been
//                            put back at its start with lseek(2): "eio"
//                            (the first one fails with EIO), "eintr" (the
//                            first one fails with EINTR), or a number of
//                            bytes after which they find the end, as if the
//                            file had been cut between two readings
// The order in which the program reads its files, as the disk sees it:
//   SUMVANE_READ_LOG  a file that gets one line per call that reads a
//                     file's bytes or asks the disk for them (read, pread,
//                     preadv2; posix_fadvise with WILLNEED) and per ask
//                     for where a file lies (ioctl FS_IOC_FIEMAP):
//                     "read|prefetch|place <path>", the path the
//                     descriptor's file has now
// A system that starts no more threads (its limit on processes reached):
//   SUMVANE_REFUSE_THREAD  the process's Nth thread start (1: its first)
//                          fails with EAGAIN
#include <dlfcn.h>
#include <fcntl.h>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>

#include <atomic>
#include <string>

namespace {

std::atomic<int> seen{0};
std::atomic<bool> done{false};
std::atomic<bool> edited{false};

// The descriptors opened for SUMVANE_READ_NAME, and for each whether it has
// been rewound, what it has read since, and whether its one fault is spent.
constexpr int kTracked = 1024;
std::atomic<bool> tracked[kTracked];
std::atomic<bool> rewound[kTracked];
std::atomic<long long> readSinceRewind[kTracked];
std::atomic<bool> faultSpent[kTracked];

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

void EditAt(const char* path) {
    const char* edit = getenv("SUMVANE_EDIT_PATH");
    if (!edit || !Matches("SUMVANE_EDIT_NAME", LastName(path)) || edited.exchange(true)) return;
    FILE* file = fopen(edit, "a");
    static const char failed[] = "at_open: the edit failed\n";
    if (!file || fputs("an edit by its owner\n", file) < 0 || fclose(file) != 0)
        (void)!write(2, failed, sizeof failed - 1);
}

void ActAt(const char* path) {
    EditAt(path);
    if (const char* seconds = getenv("SUMVANE_PAUSE_SECONDS"); seconds && Matches("SUMVANE_PAUSE_NAME", LastName(path)))
        usleep(static_cast<useconds_t>(strtod(seconds, nullptr) * 1e6));
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

void Track(int fd, const char* path) {
    if (fd < 0 || fd >= kTracked) return;
    const bool wanted = Matches("SUMVANE_READ_NAME", LastName(path));
    tracked[fd] = wanted;
    rewound[fd] = false;
    readSinceRewind[fd] = 0;
    faultSpent[fd] = false;
}

template <typename Function>
Function Next(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

// One line of the read log for a call on `fd`, when the log is asked for
// and `fd` is a regular file (the summary and the log are files too: the
// reader of the log picks the ones it wants).
void LogRead(const char* what, int fd) {
    static const char* const log = getenv("SUMVANE_READ_LOG");
    if (!log) return;
    struct stat status {};
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) return;
    char link[64];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char path[4096];
    const ssize_t length = readlink(link, path, sizeof path - 1);
    if (length <= 0) return;
    path[length] = 0;
    const std::string line = std::string(what) + " " + path + "\n";
    static const auto realOpen = Next<int (*)(const char*, int, ...)>("open");
    const int out = realOpen(log, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (out < 0) return;
    (void)!write(out, line.data(), line.size());  // one write: lines of threads do not mix
    close(out);
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
    const int fd = real(path, flags, mode);
    Track(fd, path);
    return fd;
}

int open64(const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = ModeOf(flags, arguments);
    va_end(arguments);
    ActAt(path);
    static const auto real = Next<int (*)(const char*, int, ...)>("open64");
    const int fd = real(path, flags, mode);
    Track(fd, path);
    return fd;
}

int openat(int folder, const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = ModeOf(flags, arguments);
    va_end(arguments);
    ActAt(path);
    static const auto real = Next<int (*)(int, const char*, int, ...)>("openat");
    const int fd = real(folder, path, flags, mode);
    Track(fd, path);
    return fd;
}

int openat64(int folder, const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = ModeOf(flags, arguments);
    va_end(arguments);
    ActAt(path);
    static const auto real = Next<int (*)(int, const char*, int, ...)>("openat64");
    const int fd = real(folder, path, flags, mode);
    Track(fd, path);
    return fd;
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

off_t lseek(int fd, off_t offset, int whence) {
    static const auto real = Next<off_t (*)(int, off_t, int)>("lseek");
    const off_t at = real(fd, offset, whence);
    if (at == 0 && fd >= 0 && fd < kTracked && tracked[fd]) {
        rewound[fd] = true;
        readSinceRewind[fd] = 0;
    }
    return at;
}

off_t lseek64(int fd, off_t offset, int whence) { return lseek(fd, offset, whence); }

ssize_t read(int fd, void* buffer, size_t count) {
    static const auto real = Next<ssize_t (*)(int, void*, size_t)>("read");
    LogRead("read", fd);
    if (fd < 0 || fd >= kTracked || !tracked[fd]) return real(fd, buffer, count);
    if (const char* most = getenv("SUMVANE_READ_SHORT"); most && count > static_cast<size_t>(atol(most)))
        count = static_cast<size_t>(atol(most));
    if (rewound[fd]) {
        const std::string after = getenv("SUMVANE_READ_REWOUND") ? getenv("SUMVANE_READ_REWOUND") : "";
        if ((after == "eio" || after == "eintr") && !faultSpent[fd].exchange(true)) {
            errno = after == "eio" ? EIO : EINTR;
            return -1;
        }
        if (!after.empty() && after != "eio" && after != "eintr") {
            const long long left = atoll(after.c_str()) - readSinceRewind[fd];
            if (left <= 0) return 0;
            if (static_cast<long long>(count) > left) count = static_cast<size_t>(left);
        }
    }
    const ssize_t got = real(fd, buffer, count);
    if (got > 0) readSinceRewind[fd] += got;
    return got;
}

ssize_t pread64(int fd, void* buffer, size_t length, off_t offset) {
    static const auto real = Next<ssize_t (*)(int, void*, size_t, off_t)>("pread64");
    LogRead("read", fd);
    return real(fd, buffer, length, offset);
}

ssize_t preadv2(int fd, const struct iovec* vector, int count, off_t offset, int flags) {
    static const auto real = Next<ssize_t (*)(int, const struct iovec*, int, off_t, int)>("preadv2");
    LogRead("read", fd);
    return real(fd, vector, count, offset, flags);
}

int posix_fadvise(int fd, off_t offset, off_t length, int advice) {
    static const auto real = Next<int (*)(int, off_t, off_t, int)>("posix_fadvise");
    if (advice == POSIX_FADV_WILLNEED) LogRead("prefetch", fd);
    return real(fd, offset, length, advice);
}

int posix_fadvise64(int fd, off_t offset, off_t length, int advice) {
    static const auto real = Next<int (*)(int, off_t, off_t, int)>("posix_fadvise64");
    if (advice == POSIX_FADV_WILLNEED) LogRead("prefetch", fd);
    return real(fd, offset, length, advice);
}

int ioctl(int fd, unsigned long request, ...) {
    va_list arguments;
    va_start(arguments, request);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);
    static const auto real = Next<int (*)(int, unsigned long, ...)>("ioctl");
    if (request == FS_IOC_FIEMAP) LogRead("place", fd);
    return real(fd, request, argument);
}

int pthread_create(pthread_t* thread, const pthread_attr_t* attributes, void* (*start)(void*), void* argument) {
    static std::atomic<int> started{0};
    if (const char* refused = getenv("SUMVANE_REFUSE_THREAD"); refused && ++started == atoi(refused)) return EAGAIN;
    static const auto real =
        Next<int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*)>("pthread_create");
    return real(thread, attributes, start, argument);
}

}  // extern "C"
