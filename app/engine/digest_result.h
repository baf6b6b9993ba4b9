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
    TesselLibrary::FileTime modified;  // when the file was last written, as of its open (when opened)
};

// The 32 upper-case digits of a 16-byte MD5 value.
void DigestDigits(const std::uint8_t (&value)[16], char (&digits)[32]);
