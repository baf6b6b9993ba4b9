// What the digest of one file came to: the 32 digits, or why there are
// none. Nothing here reads a file; file_digest.h does.
#pragma once

#include <cstdint>

#include "file_time.h"

// How a digest came out: the path does not exist, or the file is there but
// could not be read to its end (no access, locked, an I/O error, cut short
// while read, no hash service).
enum class DigestResult { Computed, NotFound, Unreadable };

struct FileDigest {
    DigestResult result = DigestResult::Unreadable;
    char digits[32] = {};     // valid when Computed
    std::uint64_t bytes = 0;  // how much was hashed
    // The file's size and date as the system gave them just before the read
    // whose bytes were hashed (when opened): a write during or after that
    // read shows as a later date.
    std::uint64_t size = 0;
    TesselLibrary::FileTime modified;
};

// A file's size and date as they were just before it was read.
struct FileAsRead {
    std::uint64_t size = 0;
    TesselLibrary::FileTime modified;
    bool operator==(const FileAsRead&) const = default;
};
inline FileAsRead asReadOf(const FileDigest& digest) { return FileAsRead{digest.size, digest.modified}; }

// How often a file is read again at most while its size or date changes
// under the read: one that will not hold still keeps the digest and the
// date of its last read, the date taken before it.
inline constexpr int kMostRereads = 2;
