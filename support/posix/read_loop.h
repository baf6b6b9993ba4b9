// POSIX backend, private: the one loop that reads a file's bytes, for every
// reader of the backend (TesselFile's handle and the digest's reader).
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>

#include "retry.h"

namespace TesselLibrary::Posix {

// Linux moves at most 0x7ffff000 bytes per read(2) or write(2); no call asks
// for more than this.
constexpr std::size_t kMaxTransfer = std::size_t{1} << 30;

// Reads `length` bytes at the current position into `buffer`. A read(2) may
// give fewer bytes than asked without being at the end (a signal, a file
// system that serves a piece at a time): the loop asks again for the rest,
// and only a read that gives nothing is the end of the file. An interrupted
// read is asked again; a descriptor left non-blocking that answers "try
// again" is made blocking and asked again. `*got` is what was read, fewer
// than `length` only at the end of the file. False on an error.
inline bool ReadFully(int fd, void* buffer, std::size_t length, std::size_t* got) {
    auto* bytes = static_cast<unsigned char*>(buffer);
    std::size_t total = 0;
    while (total < length) {
        const std::size_t asked = length - total < kMaxTransfer ? length - total : kMaxTransfer;
        const ssize_t moved = RetryOnInterrupt([&] { return ::read(fd, bytes + total, asked); });
        if (moved < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                const int status = ::fcntl(fd, F_GETFL);
                if (status != -1 && (status & O_NONBLOCK) && ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != -1)
                    continue;
            }
            *got = total;
            return false;
        }
        if (moved == 0) break;
        total += static_cast<std::size_t>(moved);
    }
    *got = total;
    return true;
}

}  // namespace TesselLibrary::Posix
