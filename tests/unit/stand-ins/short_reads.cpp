// The read(2) and preadv2(2) of the unit tests' process: defined here, they
// take the place of the C library's for every caller in the program, and
// pass each call on to it (found with RTLD_NEXT).
#include "short_reads.h"

#include <dlfcn.h>
#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace {

std::atomic<std::size_t> piece{0};  // 0: calls pass through unchanged
std::atomic<std::size_t> calls{0};
std::atomic<std::size_t> interrupts{0};
std::atomic<std::size_t> shortenings{0};
std::function<void()> writer;  // set and cleared by the test's thread alone
std::atomic<int> writes{0};

void WriteFirst() {
    if (writes.load() > 0 && writer) {
        writes.fetch_sub(1);
        writer();
    }
}

template <typename Function>
Function Next(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

// True when this call is to fail with EINTR; otherwise `length` is cut to
// the piece.
bool Interrupt(std::size_t& length) {
    const std::size_t most = piece.load();
    if (most == 0) return false;
    if (calls.fetch_add(1) % 2 == 0) {
        interrupts.fetch_add(1);
        errno = EINTR;
        return true;
    }
    if (length > most) {
        length = most;
        shortenings.fetch_add(1);
    }
    return false;
}

}  // namespace

namespace stand_in {

ShortReads::ShortReads(std::size_t most) {
    calls = 0;
    interrupts = 0;
    shortenings = 0;
    piece = most;
}
ShortReads::~ShortReads() { piece = 0; }
std::size_t ShortReads::interrupted() const { return interrupts.load(); }
std::size_t ShortReads::shortened() const { return shortenings.load(); }

WriteWhileRead::WriteWhileRead(std::function<void()> write, int times) {
    writer = std::move(write);
    writes = times;
}
WriteWhileRead::~WriteWhileRead() {
    writes = 0;
    writer = nullptr;
}

}  // namespace stand_in

extern "C" {

ssize_t read(int fd, void* buffer, size_t length) {
    static const auto real = Next<ssize_t (*)(int, void*, size_t)>("read");
    WriteFirst();
    if (Interrupt(length)) return -1;
    return real(fd, buffer, length);
}

ssize_t preadv2(int fd, const struct iovec* vector, int count, off_t offset, int flags) {
    static const auto real = Next<ssize_t (*)(int, const struct iovec*, int, off_t, int)>("preadv2");
    std::size_t length = count > 0 ? vector[0].iov_len : 0;
    WriteFirst();
    if (Interrupt(length)) return -1;
    if (count < 1) return real(fd, vector, count, offset, flags);
    struct iovec first = {vector[0].iov_base, length};
    return real(fd, &first, 1, offset, flags);
}

}  // extern "C"
