// POSIX backend, private: opening a path that must be a regular file.
// Shared by tessel_file.cpp and tessel_mapped_file.cpp; not part of the seam.
#pragma once

#include <cerrno>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace TesselLibrary::Posix {

// open(2) for a regular file only. The open itself is non-blocking, so a
// FIFO, a socket or a device can never make the caller wait (a FIFO opened
// for writing without a reader even fails with ENXIO); whatever opens is
// then checked with fstat and rejected unless it is a regular file, and only
// then is O_NONBLOCK cleared. Symbolic links to files are followed.
// Returns the descriptor, or -1.
inline int OpenRegularFile(const std::string& path, int flags, mode_t mode = 0666) {
    int fd;
    do {
        fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, mode);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return -1;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    const int status = ::fcntl(fd, F_GETFL);
    if (status == -1 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) == -1) {
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
