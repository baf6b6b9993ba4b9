// Whole files read from start to end for their digest, through buffers kept
// from file to file. A large file is read ahead by a second thread while
// its caller consumes the bytes, so that the disk and the hash work at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "file_time.h"
#include "folder.h"
#include "owner_reads.h"

namespace TesselLibrary {

// How reading a file came out: read to its end; the path (or a folder on it)
// does not exist; or it is there but could not be read whole (no access, not
// a regular file, locked, an I/O error, cut short while read).
enum class ReadOutcome { Complete, NotFound, Unreadable };

// Where a file's bytes begin on its device, for reading many files in the
// order of their places there. `mapped`: the system told where its first
// bytes lie (`physical`, in bytes from the device's start); otherwise only
// its node number is known (the inode, whose number grows with its place
// on most file systems of rotating disks). `empty`: it has no bytes on the
// device at all (nothing, or held in its node).
struct DiskPlace {
    bool mapped = false;
    bool empty = false;
    std::uint64_t physical = 0;
    std::uint64_t node = 0;
};

// One regular file opened for reading from its start; each backend supplies
// it. Only regular files open, and opening never blocks.
class SequentialFile {
public:
    SequentialFile() = default;
    ~SequentialFile();
    SequentialFile(const SequentialFile&) = delete;
    SequentialFile& operator=(const SequentialFile&) = delete;
    SequentialFile(SequentialFile&& other) noexcept { Take(other); }
    SequentialFile& operator=(SequentialFile&& other) noexcept {
        if (this != &other) {
            Close();
            Take(other);
        }
        return *this;
    }

    // `owner`, when given: a path outside its folder is read only as
    // whoever could have written the summary naming it could (owner_reads.h).
    ReadOutcome Open(const std::u16string& path, const OwnerReads* owner = nullptr);
    void Close();
    // The file `name` in `folder`; a link there is followed (with `owner`,
    // to a file outside its folder only as whoever may put a link into
    // `folder` could read it).
    ReadOutcome Open(const Folder& folder, const std::u16string& name, const OwnerReads* owner = nullptr);
    // The open failed because the process (or the system) may hold no more
    // open files, or lacked the memory: worth trying again once some are
    // closed, unlike a fault of the file.
    bool outOfDescriptors() const { return outOfDescriptors_; }
    // The size the file had when it was opened.
    std::uint64_t size() const { return size_; }
    // When it was last written, as of the open.
    const FileTime& modified() const { return modified_; }
    // Asks the system again for the file's size and date, which size() and
    // modified() give from then on; `changed` when either differs from
    // before (a write meanwhile). False when the system cannot say.
    bool LookAgain(bool* changed);
    // Back to the file's first byte, to read it again.
    bool Rewind();
    // Tells the system the file will be read once from start to end, worth
    // a call only when it takes more than one read.
    void AdviseSequential();
    // Up to `length` bytes at the current position; `got` is short only at
    // the end of the file. False on an I/O error.
    bool Read(std::uint8_t* buffer, std::size_t length, std::size_t* got);
    // Up to `length` bytes at the current position, of those the system
    // holds in memory now: `*later` when it would have to wait for the
    // device (nothing is read then, and the system starts bringing them
    // in). `got` may be short without being at the end; 0 (and not later)
    // is the end. Where the system cannot tell, the same as Read.
    bool ReadAtHand(std::uint8_t* buffer, std::size_t length, std::size_t* got, bool* later);
    // Asks the system to start reading `length` bytes from `offset` into
    // memory now, without waiting for them. Advice only.
    void Prefetch(std::uint64_t offset, std::uint64_t length);
    // Where its bytes begin on the device.
    DiskPlace Place() const;

private:
    void Take(SequentialFile& other) {
        native_ = other.native_;
        size_ = other.size_;
        modified_ = other.modified_;
        node_ = other.node_;
        outOfDescriptors_ = other.outOfDescriptors_;
        other.native_ = -1;
    }

    std::intptr_t native_ = -1;  // a descriptor or a Windows handle; -1 for none
    std::uint64_t size_ = 0;
    FileTime modified_;
    std::uint64_t node_ = 0;  // the file's number within its file system
    bool outOfDescriptors_ = false;
};

// The folder lies on a rotating disk, where reading files in the order of
// their places avoids the head's travel between them (the system says so
// for its device); false where that is not known.
bool OnRotatingDisk(const Folder& folder);

// The size of the file at `path` (links followed); 0 when it cannot be known.
std::uint64_t FileSizeOf(const std::u16string& path);

struct ReadAheadRing;

class FileReader {
public:
    FileReader();
    ~FileReader();
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;

    // Called with the file's bytes in order, piece by piece; returning false
    // stops the reading (the outcome is then Unreadable).
    using Consumer = std::function<bool(const std::uint8_t* bytes, std::size_t length)>;

    // Reads the bytes the file held when it was opened, all of them: a file
    // that ends sooner was cut short meanwhile and is Unreadable. A file
    // whose size was 0 is read to its end, whatever that brings.
    ReadOutcome ReadWhole(const std::u16string& path, const Consumer& consume);
    // The same for a file opened for it, from its start.
    ReadOutcome ReadWhole(SequentialFile& file, const Consumer& consume);

private:
    ReadOutcome ReadDirect(SequentialFile& file, const Consumer& consume);
    ReadOutcome ReadToEnd(SequentialFile& file, const Consumer& consume);

    std::unique_ptr<std::uint8_t[]> buffer_;  // for files read in the caller's thread
    std::unique_ptr<ReadAheadRing> ring_;     // for large files; made on first use
};

}  // namespace TesselLibrary
