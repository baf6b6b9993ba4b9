// POSIX backend, private: the one loop that reads a file's bytes, for every
// reader of the backend (TesselFile's handle, the digest's reader, a repair's
// copy, a configuration file).
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

// Reads `length` bytes into `buffer` by `readPiece(into, asked, done)`, a
// read(2) or pread(2) of `asked` bytes after the `done` ones already read.
// A read may give fewer bytes than asked without being at the end (a signal,
// a file system that serves a piece at a time): the loop asks again for the
// rest, and only a read that gives nothing is the end of the file. An
// interrupted read is asked again; a descriptor left non-blocking that
// answers "try again" is made blocking and asked again. `*got` is what was
// read, fewer than `length` only at the end of the file. False on an error.
template <typename ReadPiece>
bool ReadInPieces(int fd, void* buffer, std::size_t length, std::size_t* got, ReadPiece readPiece) {
    auto* bytes = static_cast<unsigned char*>(buffer);
    std::size_t total = 0;
    while (total < length) {
        const std::size_t asked = length - total < kMaxTransfer ? length - total : kMaxTransfer;
        const ssize_t moved = RetryOnInterrupt([&] { return readPiece(bytes + total, asked, total); });
        if (moved < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                const int status = ::fcntl(fd, F_GETFL);
                if (status != -1 && (status & O_NONBLOCK) && ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != -1) continue;
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

// From the descriptor's position, which moves on by what was read.
inline bool ReadFully(int fd, void* buffer, std::size_t length, std::size_t* got) {
    return ReadInPieces(fd, buffer, length, got,
                        [fd](void* into, std::size_t asked, std::size_t) { return ::read(fd, into, asked); });
}

// From `offset`, the descriptor's position left where it was.
inline bool ReadFullyAt(int fd, off_t offset, void* buffer, std::size_t length, std::size_t* got) {
    return ReadInPieces(fd, buffer, length, got, [fd, offset](void* into, std::size_t asked, std::size_t done) {
        return ::pread(fd, into, asked, offset + static_cast<off_t>(done));
    });
}

}  // namespace TesselLibrary::Posix
