// POSIX backend, private: opening a path that must be a regular file.
// Shared by tessel_file.cpp and tessel_mapped_file.cpp; not part of the seam.
#pragma once

#include <cerrno>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "retry.h"

namespace TesselLibrary::Posix {

inline bool ClearNonBlocking(int fd) {
    const int status = ::fcntl(fd, F_GETFL);
    return status != -1 && ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != -1;
}

// open(2) for a regular file only. The open itself is non-blocking, so a
// FIFO, a socket or a device can never make the caller wait (a FIFO opened
// for writing without a reader even fails with ENXIO); whatever opens is
// then checked with fstat and rejected unless it is a regular file, and only
// then is O_NONBLOCK cleared. Symbolic links to files are followed unless
// `flags` holds O_NOFOLLOW. Returns the descriptor, or -1 with errno telling
// why (EISDIR or EINVAL for what is not a regular file). `found`, when
// given, receives what fstat found. O_NONBLOCK in `flags` leaves it set,
// which reads of a regular file ignore on local file systems; the caller
// must then clear it should a read ever answer EAGAIN.
// `at` is the folder descriptor a relative `path` is resolved against.
inline int OpenRegularFile(const std::string& path, int flags, mode_t mode = 0666, struct stat* found = nullptr,
                           int at = AT_FDCWD) {
    const bool keepNonBlocking = (flags & O_NONBLOCK) != 0;
    const int fd =
        RetryOnInterrupt([&] { return ::openat(at, path.c_str(), flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, mode); });
    if (fd < 0) return -1;
    struct stat st;
    const bool known = ::fstat(fd, &st) == 0;
    if (!known || !S_ISREG(st.st_mode)) {
        const int error = !known ? errno : S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        errno = error;
        return -1;
    }
    if (found) *found = st;
    if (!keepNonBlocking && !ClearNonBlocking(fd)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

inline void CloseDescriptor(int& fd) {
    if (fd >= 0) {
        ::close(fd);  // not retried on EINTR: on Linux the descriptor is gone either way
        fd = -1;
    }
}

}  // namespace TesselLibrary::Posix
