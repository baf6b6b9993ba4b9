// A file descriptor owned by one object and closed with it, and whole writes.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <string_view>
#include <utility>

#include "retry.h"

namespace TesselLibrary::Posix {

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // Closes now; false when close reported an error (for files, a failed
    // write-back that the caller must not ignore).
    bool reset() {
        if (fd_ < 0) return true;
        const int result = ::close(std::exchange(fd_, -1));
        return result == 0;
    }

private:
    int fd_ = -1;
};

// Writes all of `bytes`: a partial write goes on with the rest, an
// interrupted one is retried. False on any error, and when the descriptor
// takes nothing (a write of 0 bytes would otherwise repeat for ever).
inline bool WriteAll(int fd, const void* bytes, std::size_t length) {
    const char* next = static_cast<const char*>(bytes);
    while (length > 0) {
        const ssize_t written = RetryOnInterrupt([&] { return ::write(fd, next, length); });
        if (written <= 0) return false;
        next += written;
        length -= static_cast<std::size_t>(written);
    }
    return true;
}

inline bool WriteAll(int fd, std::string_view bytes) { return WriteAll(fd, bytes.data(), bytes.size()); }

}  // namespace TesselLibrary::Posix
