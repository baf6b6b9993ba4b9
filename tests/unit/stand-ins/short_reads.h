// A stand-in for the system's read calls, linked into the unit tests on
// POSIX: while a ShortReads lives, every read(2) and preadv2(2) of the
// process first fails with EINTR, and when asked again moves at most
// `piece` bytes, as a signal or a file system that serves a piece at a time
// may make any read do. Outside that scope the calls go to the system as
// they are.
#pragma once

#include <cstddef>
#include <functional>

namespace stand_in {

class ShortReads {
public:
    explicit ShortReads(std::size_t piece);
    ~ShortReads();
    ShortReads(const ShortReads&) = delete;
    ShortReads& operator=(const ShortReads&) = delete;

    // Calls answered with EINTR, and reads cut to `piece`, so far.
    std::size_t interrupted() const;
    std::size_t shortened() const;
};

// Another process that writes a file while the program reads it: while a
// WriteWhileRead lives, `write` runs just before each of the first `times`
// read(2) and preadv2(2) calls of the process.
class WriteWhileRead {
public:
    WriteWhileRead(std::function<void()> write, int times);
    ~WriteWhileRead();
    WriteWhileRead(const WriteWhileRead&) = delete;
    WriteWhileRead& operator=(const WriteWhileRead&) = delete;
};

}  // namespace stand_in
