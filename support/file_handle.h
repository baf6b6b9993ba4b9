// One open file of the system, as TesselFile and TesselLog use it: opened one
// way, read or written in pieces, closed by its owner. Each backend supplies
// the functions; TesselFile keeps the rules of when to open, reopen and close.
// Private to the support library.
#pragma once

#include <cstdint>
#include <string>

#include "file_time.h"
#include "folder.h"

namespace TesselLibrary {

class FileHandle {
public:
    enum class Mode {
        Read,           // an existing file, links followed; others may read it meanwhile, not write
        ReadNoLink,     // the same, but a link in the file's place fails instead of being followed
        ReadOldLog,     // the same, for an old log checked before it is removed: on Windows others
                        // may write it meanwhile too
        CreateNew,      // a new file (mode 0644 less the umask on POSIX); fails when anything has the
                        // name already, a link included, so nothing is ever written through one;
                        // shared with no one (but for deleting it on Windows)
        CreateReport,   // CreateNew for a report (a log, figures) that may name a private folder's
                        // files: mode 0640 less the umask on POSIX, so no one else reads it
        Append,         // created when missing, positioned at its end; never through a link;
                        // shared with no one
        CreateLog,      // CreateReport and Append for a log: others may read the file while it
        AppendLog,      // is written (on Windows a viewer that follows it, sharing writing)
        RewriteOldLog,  // an old log that cannot be removed, opened to be emptied: an existing
                        // file, never through a link; on Windows shared with a viewer that
                        // holds it open, sharing writing
    };

    FileHandle() = default;
    ~FileHandle() { Close(); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    // Closes any file held, then opens `path`. Only regular files open.
    bool Open(const std::u16string& path, Mode mode);
    // The same for the file `name` in `folder`.
    bool Open(const Folder& folder, const std::u16string& name, Mode mode);
    // The last Open failed because the path, or a folder on it, does not
    // exist (ENOENT/ENOTDIR; ERROR_FILE_NOT_FOUND/ERROR_PATH_NOT_FOUND), as
    // opposed to a file that is there but cannot be opened.
    bool NotFound() const { return notFound_; }
    bool IsOpen() const { return native_ != kNone; }
    // The descriptor or handle, for the backend's own questions about the
    // open file; -1 when none is open.
    std::intptr_t native() const { return native_; }
    // False when the system reported an error on closing (a delayed write
    // that failed); the handle is gone either way.
    bool Close();
    // Up to `length` bytes from the current position; `got` fewer than asked
    // means the end of the file.
    bool Read(void* buffer, std::uint32_t length, std::uint32_t* got);
    // `length` bytes at the current position; `written` fewer than asked
    // means the rest could not be written (a full disk).
    bool Write(const void* data, std::uint32_t length, std::uint32_t* written);
    // All `length` bytes, or false.
    bool WriteWhole(const void* data, std::uint32_t length) {
        std::uint32_t written = 0;
        return Write(data, length, &written) && written == length;
    }
    bool Size(std::uint64_t* size) const;
    // Cuts the file back to its first `size` bytes and puts the position
    // there: what a write that could not be made whole had added goes again.
    bool Truncate(std::uint64_t size);
    bool SeekToStart();
    bool Identity(FileIdentity* identity) const;
    // When the open file was last written.
    bool Modified(FileTime* time) const;
    // An advisory lock on the open file, held until it is closed: the mark
    // of a live run on its temporary file. False when another holds it.
    bool TryLock();
    // The mark of a run that writes a log, held on the open log until it is
    // closed (false only when a run deleting it holds it now), and the
    // question another run asks of an old log before it deletes it: whether
    // a live run holds that mark. Where the system or the file system has no
    // such mark (Windows), nothing is marked and no log is ever in use.
    bool MarkInUse();
    bool InUseElsewhere();
    // Gives the open file the permissions of the file `name` in `folder` and,
    // when the process may (run as root), its owner and group; a file of
    // its own when `name` is no regular file, and then, for a `report`, the
    // group of `folder` (TakeGroupOf). No-op on Windows.
    bool TakeModeOf(const Folder& folder, const std::u16string& name, bool report = false);
    // Gives the open file the group of `folder`, where the process may (run
    // as root, or a member of it): a report is read by those who read the
    // folder it is in. Nothing changes where it may not.
    void TakeGroupOf(const Folder& folder);
    // The open file's permissions and owner, for a file that takes its place
    // after it is gone (GiveMode). False on Windows, where a file takes its
    // folder's.
    struct Permissions {
        std::uint32_t mode = 0;
        std::uint32_t owner = 0;
        std::uint32_t group = 0;
    };
    bool PermissionsOf(Permissions* permissions) const;
    // As TakeModeOf, from what PermissionsOf gave.
    bool GivePermissions(const Permissions& permissions);
    // Everything written so far is on the disk when this returns true.
    bool Flush();
    // Sends what was written so far on its way to the disk without waiting,
    // so that the Flush of many files after it waits for them together
    // rather than for each in turn. Where the system has no such call it
    // does nothing; either way only Flush says the bytes are on the disk.
    void StartFlush();

private:
    // A file descriptor or a Windows handle; both systems use -1 for none
    // (INVALID_HANDLE_VALUE is -1 as a pointer).
    static constexpr std::intptr_t kNone = -1;
    std::intptr_t native_ = kNone;
    bool notFound_ = false;

    friend struct FileHandleAccess;  // the backend's own helpers
};

}  // namespace TesselLibrary
