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

namespace TesselLibrary {

// How reading a file came out: read to its end; the path (or a folder on it)
// does not exist; or it is there but could not be read whole (no access, not
// a regular file, locked, an I/O error, cut short while read).
enum class ReadOutcome { Complete, NotFound, Unreadable };

// One regular file opened for reading from its start; each backend supplies
// it. Only regular files open, and opening never blocks.
class SequentialFile {
public:
    SequentialFile() = default;
    ~SequentialFile();
    SequentialFile(const SequentialFile&) = delete;
    SequentialFile& operator=(const SequentialFile&) = delete;

    ReadOutcome Open(const std::u16string& path);
    void Close();
    // The file `name` in `folder`; a link there is followed.
    ReadOutcome Open(const Folder& folder, const std::u16string& name);
    // The open failed because the process (or the system) may hold no more
    // open files, or lacked the memory: worth trying again once some are
    // closed, unlike a fault of the file.
    bool outOfDescriptors() const { return outOfDescriptors_; }
    // The size the file had when it was opened.
    std::uint64_t size() const { return size_; }
    // When it was last written, as of the open.
    const FileTime& modified() const { return modified_; }
    // Tells the system the file will be read once from start to end, worth
    // a call only when it takes more than one read.
    void AdviseSequential();
    // Up to `length` bytes at the current position; `got` is short only at
    // the end of the file. False on an I/O error.
    bool Read(std::uint8_t* buffer, std::size_t length, std::size_t* got);

private:
    std::intptr_t native_ = -1;  // a descriptor or a Windows handle; -1 for none
    std::uint64_t size_ = 0;
    FileTime modified_;
    bool outOfDescriptors_ = false;
};

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
