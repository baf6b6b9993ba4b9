#include "file_digest.h"

#include "text.h"

using namespace TesselLibrary;

FileDigester::FileDigester() : hash_(provider_) {}

FileDigest FileDigester::digest(const std::u16string& path) {
    SequentialFile file;
    const ReadOutcome opened = file.Open(path);
    return Opened(file, opened);
}

FileDigest FileDigester::digest(const Folder& folder, const std::u16string& name, const OwnerReads* reads) {
    SequentialFile file;
    const ReadOutcome opened = file.Open(folder, name, reads);
    return Opened(file, opened);
}

FileDigest FileDigester::digest(SequentialFile& file, const Reading& reading, int rereads) {
    return Opened(file, ReadOutcome::Complete, reading, rereads);
}

FileDigest FileDigester::Opened(SequentialFile& file, ReadOutcome opened, const Reading& reading, int rereads) {
    FileDigest done;
    // The system's own reason for a failed open decides: only a path that is
    // not there is "not found"; a file that is there but cannot be read must
    // never pass for a missing one.
    if (opened == ReadOutcome::NotFound) {
        done.result = DigestResult::NotFound;
        return done;
    }
    if (opened != ReadOutcome::Complete) return done;
    for (int again = 0;; ++again) {
        done.size = file.size();
        done.modified = file.modified();
        done.bytes = 0;
        done.result = DigestResult::Unreadable;
        ReadOnce(file, done, reading);
        // A file written while it was read may have given bytes of either
        // version: read again, as it is now.
        bool changed = false;
        if (again == rereads || !file.LookAgain(&changed) || !changed || !file.Rewind()) return done;
    }
}

void FileDigester::ReadOnce(SequentialFile& file, FileDigest& done, const Reading& reading) {
    // A digest left unfinished by a failed file must not leak into the next.
    if (hashUsed_ && !hash_.Restart()) return;
    hashUsed_ = true;
    if (!hash_.ok()) return;

    const ReadOutcome outcome = reader_.ReadWhole(file, [&](const std::uint8_t* bytes, std::size_t length) {
        done.bytes += length;
        const bool hashed = hash_.Update(bytes, static_cast<std::uint32_t>(length));
        if (reading) reading(done.bytes);
        return hashed;
    });
    std::uint8_t value[16];
    if (outcome != ReadOutcome::Complete || !hash_.Final(value)) return;
    DigestDigits(value, done.digits);
    done.result = DigestResult::Computed;
}
