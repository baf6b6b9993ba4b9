// Reading one file for its digest: the 32 upper-case hexadecimal digits of
// its MD5, or why there are none. Nothing is logged here; the job that asked
// decides what a failure means.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "digest_result.h"
#include "file_reader.h"
#include "folder.h"
#include "md5.h"

// What one thread needs to hash files one after another: the reader's
// buffers and a hash object, made once and reused for every file.
class FileDigester {
public:
    FileDigester();
    FileDigester(const FileDigester&) = delete;
    FileDigester& operator=(const FileDigester&) = delete;

    // The file as the user named it (links on the way followed).
    FileDigest digest(const std::u16string& path);
    // The file `name` in `folder`; a link there leads to the file it names
    // (read as `reads` says, when given: owner_reads.h).
    FileDigest digest(const TesselLibrary::Folder& folder, const std::u16string& name,
                      const TesselLibrary::OwnerReads* reads = nullptr);
    // A file opened for it, read to its end, and again while it changes
    // under the read, `rereads` times at most; `reading`, when given, is
    // told the bytes read so far (of the read under way) after each piece.
    using Reading = std::function<void(std::uint64_t done)>;
    FileDigest digest(TesselLibrary::SequentialFile& file, const Reading& reading = {}, int rereads = kMostRereads);

private:
    FileDigest Opened(TesselLibrary::SequentialFile& file, TesselLibrary::ReadOutcome opened,
                      const Reading& reading = {}, int rereads = kMostRereads);
    void ReadOnce(TesselLibrary::SequentialFile& file, FileDigest& done, const Reading& reading);

    TesselLibrary::FileReader reader_;
    TesselLibrary::Md5Provider provider_;
    TesselLibrary::Md5Hash hash_;
    bool hashUsed_ = false;  // the hash object has been fed since it was made
};
