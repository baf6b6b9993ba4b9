// A byte-oriented file, opened lazily in the direction the operation needs
// (reading, or appending) and closed by the object. Write does not touch the
// file: it makes the file's replacement (replacement_file.h), which Commit
// puts in the file's place, so a run that fails or is killed part-way leaves
// the old file as it was.
//
// The object names its file by folder and name. Made from a path, it opens
// the path's folder (following links there, as the path was given) at its
// first operation and keeps it; made from a folder the run holds, no later
// change of any path can redirect a read or a write. A link in the file's
// own place is never followed: reading it fails, and a replacement replaces
// the link itself.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "folder.h"
#include "replacement_file.h"

namespace TesselLibrary {

struct TesselFileData;

class TesselFile {
public:
    explicit TesselFile(const char16_t* path = nullptr);  // null: "filename.txt"
    explicit TesselFile(const std::u16string& path);
    // The file `name` in `folder`.
    TesselFile(std::shared_ptr<const Folder> folder, const std::u16string& name);
    ~TesselFile();
    TesselFile(const TesselFile&) = delete;
    TesselFile& operator=(const TesselFile&) = delete;

    bool OpenRead();
    // The reading handle back at the start of the file it opened.
    bool Rewind();
    // Reads up to `length` bytes from the handle OpenRead opened; stops early
    // at the end of the file. `count` receives the total on success.
    bool Read(void* buffer, std::uint32_t length, std::uint32_t* count = nullptr);
    // The first Write since the last Commit starts the replacement; later
    // ones continue it. A failure shows in the Write that filled a block, in
    // every later Write, and in Commit.
    bool Write(const void* data, std::uint32_t length);
    // Puts what Write wrote in the file's place: flushed, then moved over the
    // old file in one step. True when it is there and on the disk; false,
    // with the old file left as it was, when any write, the flush or the move
    // failed, or when nothing was written since the last Commit. `outcome`
    // tells a failure apart from a move whose folder could not be flushed.
    bool Commit(CommitOutcome* outcome = nullptr);
    // The file is a report (figures about a folder, written outside it):
    // made new, no one but its owner and the group of the folder it is in
    // may read it (0640 at most, on POSIX); an existing one keeps its
    // permissions. For every later Write.
    void SetReport();
    // For tests only (the program calls none of the three): the tests set up
    // and read back files through them, and reach through Append the
    // appending handle the log writes with.
    //
    // A replacement in progress: joins it. Otherwise opens the file (created
    // when missing) and continues at its end.
    bool Append(const void* data, std::uint32_t length);
    // The whole file as it is on disk (not what Write has made so far).
    bool ReadAll(std::vector<std::uint8_t>& buffer);
    // The file's size on disk; 0 when it cannot be opened.
    std::uint64_t Size();
    // When the file OpenRead opened was last written; false when it is not
    // open for reading or the system cannot say.
    bool Modified(FileTime* time) const;
    void SetPath(const char16_t* path);
    void SetPath(std::shared_ptr<const Folder> folder, const std::u16string& name);
    // The path as messages name it.
    const std::u16string& path() const;
    // For the backend's own look at the file OpenRead opened (who may have
    // written it, owner_reads.h): its descriptor or handle; -1 when none is
    // open for reading.
    std::intptr_t readingNative() const;
    // Closes the handle; an uncommitted replacement is discarded.
    void Close();
    bool Delete();

private:
    bool Resolve();

    std::unique_ptr<TesselFileData> data_;
};

// True when the path can be opened for reading right now. For tests only:
// the program never asks before it opens.
bool FileExists(const char16_t* path);

}  // namespace TesselLibrary
