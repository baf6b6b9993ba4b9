// The digest of one file as a pure function: the 32 upper-case hexadecimal
// digits of its MD5, or why there are none. Nothing is logged here; the job
// that asked decides what a failure means.
#pragma once

#include <cstdint>
#include <string>

#include "file_reader.h"
#include "folder.h"
#include "md5.h"

// How a digest came out: the path does not exist, or the file is there but
// could not be read to its end (no access, locked, an I/O error, cut short
// while read, no hash service).
enum class DigestResult { Computed, NotFound, Unreadable };

struct FileDigest {
    DigestResult result = DigestResult::Unreadable;
    char digits[32] = {};     // valid when Computed
    std::uint64_t bytes = 0;  // how much was hashed
};

// The 32 upper-case digits of a 16-byte MD5 value.
void DigestDigits(const std::uint8_t (&value)[16], char (&digits)[32]);

// What one thread needs to hash files one after another: the reader's
// buffers and a hash object, made once and reused for every file.
class FileDigester {
public:
    FileDigester();
    FileDigester(const FileDigester&) = delete;
    FileDigester& operator=(const FileDigester&) = delete;

    // The file as the user named it (links on the way followed).
    FileDigest digest(const std::u16string& path);
    // The file `name` in `folder`; a link there leads to the file it names.
    FileDigest digest(const TesselLibrary::Folder& folder, const std::u16string& name);
    // A file opened for it, read to its end.
    FileDigest digest(TesselLibrary::SequentialFile& file);

private:
    FileDigest Opened(TesselLibrary::SequentialFile& file, TesselLibrary::ReadOutcome opened);

    TesselLibrary::FileReader reader_;
    TesselLibrary::Md5Provider provider_;
    TesselLibrary::Md5Hash hash_;
    bool hashUsed_ = false;  // the hash object has been fed since it was made
};
