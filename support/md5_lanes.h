// MD5 (RFC 1321) of many messages at once, one message in each 32-bit lane
// of SIMD registers: 8 or 16 lanes with AVX2, 16 with AVX-512F. One message
// is a chain of blocks that a core can only compute one after another;
// messages side by side in the lanes run at several times that rate.
// The same code runs in the Linux and in both Windows builds (x86-64 and
// 32-bit x86); elsewhere no lane engine runs. Which engine a process uses
// is chosen in md5_engine.h.
//
// Calling sequence, one Md5Lanes per hashing thread:
//
//   Md5Lanes lanes(ChosenMd5Engine());          // when that is not OneStream
//   lanes.Start(lane);                          // a new message in an idle lane
//   loop while any lane is busy:
//     for every busy lane that NeedsInput(lane):
//       lanes.Feed(lane, bytes, length);         // its next bytes, any length; and/or
//       lanes.End(lane);                         // no more bytes (may follow the last Feed at once)
//     lanes.Run();
//     for every lane: if (lanes.Finished(lane, digest))
//       take the digest; the lane is idle: Start the next message there
//
// A lane that is starved (busy, NeedsInput, not fed) or idle or finished
// waits while Run computes in the others, its state kept as it was, so it
// never holds them up; Run returns as soon as one lane it worked on needs
// more bytes or has finished, so that lane is refilled or given the next
// message at once rather than left idle. Bytes given to Feed stay in the
// caller's buffer until the lane NeedsInput again (it then keeps a copy of
// the few bytes of a block it could not complete), so that buffer must not
// change or go before then.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "md5_engine.h"

namespace TesselLibrary {

struct Md5LanesData;

class Md5Lanes {
public:
    // An engine this machine cannot run, or OneStream, gives way to the
    // best lane engine it runs; where none runs, width() is 0 and no lane
    // can be started.
    explicit Md5Lanes(Md5Engine engine);
    ~Md5Lanes();
    Md5Lanes(const Md5Lanes&) = delete;
    Md5Lanes& operator=(const Md5Lanes&) = delete;

    Md5Engine engine() const;
    unsigned width() const;  // lanes 0 to width() - 1: 8 or 16

    // Each returns false, changing nothing, when the lane is not in the
    // state the call needs: Start an idle lane; Feed a lane that NeedsInput;
    // End a busy lane not ended yet.
    bool Start(unsigned lane);
    bool Feed(unsigned lane, const std::uint8_t* bytes, std::size_t length);
    bool End(unsigned lane);

    // Compresses in every lane that has bytes at hand until one of them has
    // taken all it was fed and needs more, or has finished; returns at once
    // when no lane has bytes at hand.
    void Run();

    // Busy, not ended, and holding none of the caller's bytes.
    bool NeedsInput(unsigned lane) const;
    // True once per message, with its digest (in RFC 1321's byte order);
    // the lane is idle again.
    bool Finished(unsigned lane, std::uint8_t (&digest)[16]);
    bool Busy(unsigned lane) const;  // started and its digest not taken yet

private:
    std::unique_ptr<Md5LanesData> data_;
};

}  // namespace TesselLibrary
