// Putting the file of a copy (a backup of the folder checked) in the place
// of a damaged, unreadable or missing file of the archive, when the copy's
// bytes hash to the digest recorded for it. Two witnesses must agree (the
// recorded digest and the copy) before a byte of the archive is replaced.
//
//     CopyRequest request{archive, copy, {u"2024", u"a.jpg"}, digits, judged, date, {u".sumvane-replaced", day}};
//     switch (CopyIntoPlace(request).outcome) ...
//
// The copy's file is read once: its bytes are hashed as they are written into
// a new temporary file beside the archive's (through the folder's
// descriptor, never through a link), so what is put in place is exactly
// what was hashed. The temporary file gets the replaced file's permissions
// (as root, its owner and group; for a restore, the copy's permissions and
// the owner of the folder it lands in) and the date given, is flushed, and
// takes the name in one rename; the folder is flushed. The bytes replaced
// are first linked under `keptUnder` (at their path below the archive), so
// that they are never lost; a file that is no longer the one judged (another
// file, another size or date) is not replaced. A restore takes the name only
// when nothing has it at the moment of the rename. A failure at any point,
// a kill included, leaves the old file at its name, never half a new one;
// the temporary file of a killed run is removed by the next repair of the
// same file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "file_time.h"
#include "folder.h"

namespace TesselLibrary {

// The file at the place as the check read it.
struct JudgedFile {
    // The check opened it and took these just before its read: the file
    // replaced must still have them. Unknown: whatever regular file has the
    // name now is taken as the one judged (it could not even be opened).
    std::optional<std::uint64_t> size;
    std::optional<FileTime> modified;
};

struct CopyRequest {
    std::shared_ptr<const Folder> archive;  // the folder checked
    std::shared_ptr<const Folder> copy;     // the copy of it
    std::vector<std::u16string> names;      // the file's path below both, name by name
    char digits[32] = {};                   // the recorded digest, upper-case hexadecimal
    // The file the check found there; nothing: it found none (a restore).
    std::optional<JudgedFile> judged;
    // The date the new file gets; nothing: the copy's.
    std::optional<FileTime> modified;
    // Where below the archive the replaced bytes are kept, name by name
    // (".sumvane-replaced", the run's date); their path below it follows.
    std::vector<std::u16string> keptUnder;
};

enum class CopyOutcome {
    Replaced,        // the copy's bytes have the name; the old ones are kept
    Restored,        // the copy's bytes have the name, where there was none
    CopyMissing,     // the copy has no such file (or no folder on its way)
    CopyNotAFile,    // ... but something else: a folder, a link, a device
    CopyUnreadable,  // ... a file that could not be opened or read to its end
    CopyDiffers,     // ... a file whose bytes hash to another digest (`digits`)
    Changed,         // the file at the place is not the one judged, or a restore
                     // found something there: nothing replaced
    NotKept,         // the replaced bytes could not be kept: nothing replaced
    NotWritten,      // the new file could not be written whole, flushed or put in
                     // place (a full disk, no permission): nothing replaced
    NotOnDisk,       // in place, but the folder's flush failed: after a power
                     // loss the old file may be back (still kept)
};

struct CopyResult {
    CopyOutcome outcome = CopyOutcome::NotWritten;
    char digits[32] = {};  // CopyDiffers: the digest of the copy's bytes
};

CopyResult CopyIntoPlace(const CopyRequest& request);
// Several files at once, each as CopyIntoPlace would put it, with its
// result in the order of the requests. Where the system allows, they go in
// batches: a batch's copies' bytes are hashed side by side, its new files
// flushed together and each folder flushed once, and the next batch is
// copied while the one before it goes to the disk: a repair of many files
// costs about what a copy of them then a flush of the disk does. The
// requests name different files.
std::vector<CopyResult> CopyAllIntoPlace(const std::vector<CopyRequest>& requests);
// The same, `done` given the results of each batch (in order, from the
// first request on) as soon as its files are in place, before the next
// batch is: what the caller says of them is not held back by the rest.
void CopyAllIntoPlace(const std::vector<CopyRequest>& requests,
                      const std::function<void(const std::vector<CopyResult>& results)>& done);
// A batch holds this many files at most, each holding this many
// descriptors while its bytes are copied (besides the folders on one
// file's way while it is looked for), and this many while it waits for
// the disk as the next batch is copied.
inline constexpr std::size_t kCopiesAtOnce = 32;
inline constexpr unsigned kDescriptorsEachCopy = 5;
inline constexpr unsigned kDescriptorsEachWaiting = 4;

// For the backends of CopyIntoPlace.
// The eight letters of the repair's temporary file for the file at `names`:
// the same for the same path in every run, so that the temporary file a
// killed repair left is met, and removed, by the next repair of that file.
std::u16string RepairLetters(const std::vector<std::u16string>& names);
// The copy's folders on the way to the file, root first, each opened from
// its parent without following a link, into `folders`; Replaced when all
// are open, else why the copy cannot witness the file.
CopyOutcome OpenCopyFolders(const CopyRequest& request, std::vector<std::shared_ptr<const Folder>>& folders);

}  // namespace TesselLibrary
