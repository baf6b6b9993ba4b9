// Several files copied at once, each read once and its bytes hashed as
// they are written out: the same bytes in memory are written and hashed,
// so the digest is the digest of what was written. The files' bytes go
// side by side through the MD5 lanes (md5_lanes.h) where this machine runs
// a lane engine, else one file after another through the system's MD5.
//
//     std::vector<HashedCopy> copied = CopyHashed(streams);  // one result per stream, in order
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace TesselLibrary {

// Where one file's bytes come from and go to.
class CopyStream {
public:
    // The next bytes, `length` of them unless the end comes first (then
    // fewer; `got` 0 at the end). False: the read failed.
    virtual bool Read(std::uint8_t* bytes, std::size_t length, std::size_t* got) = 0;
    // The bytes just read, written whole. False: they were not.
    virtual bool Write(const std::uint8_t* bytes, std::size_t length) = 0;

protected:
    ~CopyStream() = default;
};

enum class CopyEnd {
    Copied,       // every byte read and written; `digest` is theirs
    ReadFailed,   // the source could not be read to its end
    WriteFailed,  // a write failed, or the system's MD5 did
};

struct HashedCopy {
    CopyEnd end = CopyEnd::WriteFailed;
    std::uint8_t digest[16] = {};
};

// A failure of one stream stops that stream alone.
std::vector<HashedCopy> CopyHashed(const std::vector<CopyStream*>& streams);

}  // namespace TesselLibrary
