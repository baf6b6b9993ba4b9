// A file that takes the place of another in one step, or not at all: a run
// that fails, is interrupted or is killed part-way leaves the old file as it
// was, and a reader of the name sees either the old file or the whole new one.
//
// Calling sequence:
//
//     ReplacementFile next;
//     if (!next.Create(folder, u"Sumvane.md5")) ...  // a new temporary file beside it
//     next.Write(bytes, length); ...                  // gathered into blocks
//     switch (next.Commit()) ...                      // flushed, then renamed over the name
//
// Create makes the temporary file in `folder` (never through a link; a short
// name of its own, so it fits wherever the name it replaces fits), locks it
// as the mark of a live run, and gives it the old file's permissions (and,
// run as root, its owner). A failed Write sticks: every later Write and the
// Commit fail too. Discard, or destroying the object before Commit, removes
// the temporary file. After Commit or Discard the object is spent: every
// further call fails until the next Create.
//
// An interrupted process removes the temporary files of replacements still
// in progress before it ends (RemoveTemporaryFiles, from the interrupt
// handling), so that nothing half-written is left beside the file.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "file_handle.h"
#include "folder.h"

namespace TesselLibrary {

enum class CommitOutcome {
    Replaced,           // the new file has the name, and is on the disk
    Failed,             // nothing replaced: the old file (if any) is as it was
    ReplacedNotOnDisk,  // the new file has the name, but the folder's flush failed:
                        // after a power loss the old one may be back
};

class ReplacementFile {
public:
    ReplacementFile() = default;
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    // `name` is one name inside `folder`; the folder stays held until the
    // object is spent. False when no temporary file could be made. A
    // `report` (a log, figures: a file about a folder that may be private,
    // written where others look) that replaces no file is made readable by
    // its owner and the folder's group alone (0640 at most, on POSIX); one
    // that replaces a file keeps that file's permissions, as any does.
    bool Create(std::shared_ptr<const Folder> folder, const std::u16string& name, bool report = false);
    // The same with the temporary file's eight letters given (a name a
    // later run can find again): one attempt, false when the name is taken.
    bool CreateWithLetters(std::shared_ptr<const Folder> folder, const std::u16string& name,
                           const std::u16string& letters);
    bool active() const { return folder_ != nullptr; }
    bool Write(const void* data, std::uint32_t length);
    // Hands what Write gathered to the system now, so that nothing written
    // later changes the file (its date, say) before Commit.
    bool WritePending() { return active() && !failed_ && WriteBlocks(); }
    // What was written sent on its way to the disk, without waiting for it
    // (FileHandle::StartFlush), and then waited for: several files written
    // one after another are flushed together. Commit flushes a file that
    // was not flushed since its last Write.
    void StartFlush();
    bool Flush();
    // The open temporary file, for the support library's own settings of it.
    const FileHandle& handle() const { return handle_; }
    const std::u16string& temporaryName() const { return temporaryName_; }
    // `beforeRename`, when given, runs once the file is on the disk, just
    // before the rename: false abandons the replacement (Failed).
    // `noReplace`: the name is taken only when nothing has it at that moment.
    // `flushFolder` false: the caller flushes the folder itself (once for
    // several files renamed in it), and Replaced says only that the name
    // was taken.
    CommitOutcome Commit(const std::function<bool()>& beforeRename = nullptr, bool noReplace = false,
                         bool flushFolder = true);
    void Discard();

private:
    bool CreateNamed(const std::shared_ptr<const Folder>& folder, const std::u16string& name,
                     const std::u16string& candidate, bool report);
    bool WriteBlocks();

    std::shared_ptr<const Folder> folder_;
    std::u16string name_;
    std::u16string temporaryName_;
    FileHandle handle_;
    bool failed_ = false;
    bool flushed_ = false;               // on the disk, and nothing written since
    std::vector<std::uint8_t> pending_;  // written, not yet handed to the system
};

// The name of a replacement's temporary file with these eight letters.
std::u16string TemporaryName(const std::u16string& letters);

// Whether `name` is the name of a replacement's temporary file (letter case
// ignored, as Windows may change it in listings). Names an earlier version
// gave them ("<name>.tmp-" and eight letters, for `fileName`) count too.
bool IsTemporaryName(const std::u16string& name, const std::u16string& fileName);

// Whether the bytes of a file are what a run writes into a replacement's
// temporary file (the caller's rule: what its files hold), fed in order from
// the start of the file.
class ReplacementContents {
public:
    // False as soon as the bytes so far cannot be such a file's.
    virtual bool Feed(const std::uint8_t* bytes, std::size_t length) = 0;
    // After the last piece: the whole file could be one.
    virtual bool Whole() const = 0;

protected:
    ~ReplacementContents() = default;
};

// What a file with a temporary file's name in `folder` turned out to be.
enum class TemporaryFound {
    Leftover,  // what a killed run left: no live run holds it, and it holds
               // nothing but what a run writes; it has been removed (if it could be)
    Live,      // a live run holds it while it writes it
    Gone,      // nothing has the name any more
    Other,     // someone's own file that has such a name, or one that cannot be
               // looked at: a file like any other
};
// Looks at the file `name` in `folder`, judging its bytes by `contents`, and
// removes it when it is a leftover.
TemporaryFound RemoveLeftoverTemporaryFile(const Folder& folder, const std::u16string& name,
                                           ReplacementContents& contents);
// Removes the temporary file of every replacement still in progress; called
// by the interrupt handling just before the process ends. No replacement is
// made after it: Create waits until the process is gone. A file being made at
// that moment is waited for two seconds at most; past that, nothing is removed.
void RemoveTemporaryFiles();

}  // namespace TesselLibrary
