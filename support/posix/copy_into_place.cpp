// CopyIntoPlace on POSIX: every folder of both trees opened by name from its
// parent's descriptor without following a link, the new file made through
// ReplacementFile, the replaced bytes kept by a second link made once the
// new file is on the disk, just before the rename. The files of a batch go
// through each step together: one pass of their copies' bytes through the
// MD5 lanes, their flushes begun as each is written and waited for
// together (once the next batch is copied), each folder flushed once.
#include "copy_into_place.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

#include "error_kinds.h"
#include "file_descriptor.h"
#include "hashed_copies.h"
#include "md5.h"
#include "read_loop.h"
#include "replacement_file.h"
#include "retry.h"
#include "text.h"

namespace TesselLibrary {

namespace {

using Posix::UniqueFd;

// The copy's bytes go through in pieces of this size: one read of the copy,
// one write of the new file, with no more than this held.
constexpr std::size_t kPiece = std::size_t{1} << 20;
// A second repair of one file on one day keeps both old versions.
constexpr int kKeptNames = 100;

int Fd(const Folder& folder) { return static_cast<int>(folder.native()); }

int OpenAt(int at, const std::string& name, int flags) {
    return Posix::RetryOnInterrupt([&] { return ::openat(at, name.c_str(), flags | O_CLOEXEC | O_NOCTTY); });
}

bool StatusOf(int fd, struct stat& status) { return ::fstat(fd, &status) == 0; }

bool StatusAt(const Folder& folder, const std::string& name, struct stat& status) {
    return ::fstatat(Fd(folder), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0;
}

bool SameObject(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

FileTime TimeOf(const struct stat& status) {
    return FileTime{status.st_mtim.tv_sec, static_cast<std::uint32_t>(status.st_mtim.tv_nsec)};
}

// The same file, unchanged: same size and date.
bool Unchanged(const struct stat& then, const struct stat& now) {
    return SameObject(then, now) && then.st_size == now.st_size && TimeOf(then) == TimeOf(now);
}

// Whether the bytes of the open file `left` are the first bytes of `copy`:
// what a repair of this file writes, up to where it was stopped.
// The copy is read where it is, its position kept for the repair's read.
bool StartOfCopy(int left, int copy) {
    std::vector<char> a(kPiece), b(kPiece);
    for (off_t at = 0;; at += static_cast<off_t>(kPiece)) {
        std::size_t got = 0;
        std::size_t have = 0;
        if (!Posix::ReadFullyAt(left, at, a.data(), a.size(), &got)) return false;
        if (got == 0) return true;
        if (!Posix::ReadFullyAt(copy, at, b.data(), got, &have) || have < got) return false;
        if (std::memcmp(a.data(), b.data(), got) != 0) return false;
        if (got < kPiece) return true;  // the end of what was left
    }
}

// A file with the repair's temporary name that no live run holds and that
// holds only the copy's first bytes: what a killed repair left. Removed.
void RemoveLeftover(const Folder& folder, const std::u16string& name, int copy) {
    const std::string bytes = ToSystemBytes(name);
    UniqueFd left(OpenAt(Fd(folder), bytes, O_RDONLY | O_NOFOLLOW | O_NONBLOCK));
    struct stat status {
    }, named{};
    if (!left.valid() || !StatusOf(left.get(), status) || !S_ISREG(status.st_mode)) return;
    if (::flock(left.get(), LOCK_EX | LOCK_NB) != 0) return;  // a live run writes it
    if (!StartOfCopy(left.get(), copy)) return;
    if (StatusAt(folder, bytes, named) && SameObject(status, named)) ::unlinkat(Fd(folder), bytes.c_str(), 0);
}

// A folder made where there was none, to be taken away again when the
// repair is abandoned.
struct MadeFolder {
    std::shared_ptr<const Folder> parent;
    std::string name;
};

// How a missing folder is made: its permissions, and, run as root, the
// owner and group of `owner`.
struct NewFolder {
    mode_t mode;
    const struct stat& owner;
};

// The folder `name` in `parent`; made as `make` says when it is missing
// (none: not made).
std::shared_ptr<const Folder> ChildFolder(const std::shared_ptr<const Folder>& parent, const std::u16string& name,
                                          const NewFolder* make, std::vector<MadeFolder>* made,
                                          FolderProblem* problem) {
    std::shared_ptr<const Folder> child = parent->OpenChild(name, problem);
    if (child || !make || *problem != FolderProblem::NotFound) return child;
    const std::string bytes = ToSystemBytes(name);
    // Private until it has its own permissions and owner.
    if (::mkdirat(Fd(*parent), bytes.c_str(), 0700) != 0 && errno != EEXIST) return nullptr;
    child = parent->OpenChild(name, problem);
    if (!child) return nullptr;
    if (made) made->push_back({parent, bytes});
    const int fd = Fd(*child);
    if (::geteuid() == 0 && ::fchown(fd, make->owner.st_uid, make->owner.st_gid) != 0) return nullptr;
    if (::fchmod(fd, make->mode & 07777) != 0) return nullptr;
    return child;
}

// One file's repair or restore, step by step, so that several of them can
// go through each step together: Prepare, the bytes (as a CopyStream),
// Written, Flush, Keep, Commit. Each step does nothing once one before it
// failed, and the result says why.
class Copying final : public CopyStream {
public:
    explicit Copying(const CopyRequest& request) : request_(request), name_(ToSystemBytes(request.names.back())) {}
    ~Copying() { Undo(); }
    Copying(const Copying&) = delete;
    Copying& operator=(const Copying&) = delete;

    bool live() const { return live_; }
    // In place: renamed, the folder's flush to follow.
    bool renamed() const { return renamed_; }
    bool restore() const { return !request_.judged; }
    const CopyResult& result() const { return result_; }
    // The folder the file is renamed in; after Keep, the one its replaced
    // bytes are linked in (null for a restore).
    const std::shared_ptr<const Folder>& place() const { return folders_.back(); }
    const std::shared_ptr<const Folder>& kept() const { return kept_; }

    // The copy's file open, the place as judged, the temporary file made.
    void Prepare();
    bool Read(std::uint8_t* bytes, std::size_t length, std::size_t* got) override {
        return Posix::ReadFully(copy_.get(), bytes, length, got);
    }
    bool Write(const std::uint8_t* bytes, std::size_t length) override {
        return next_.Write(bytes, static_cast<std::uint32_t>(length));
    }
    // The bytes copied: their digest the recorded one, the new file's
    // permissions and date set, its flush begun.
    void Written(const HashedCopy& copied);
    void Flush() {
        if (live_ && !next_.Flush()) Abandon(CopyOutcome::NotWritten);
    }
    // A repair's replaced bytes linked under `keptUnder`; `kept()`'s flush
    // is the caller's, and its failure is KeptNotOnDisk.
    void Keep();
    void KeptNotOnDisk() { Abandon(CopyOutcome::NotKept); }
    // Folders it made and could not take away again when it was abandoned:
    // another file of the run was being put in them then.
    std::vector<MadeFolder>& notTakenAway() { return notTakenAway_; }
    // Just before the rename, the file still the one judged; then the
    // rename, the folder's flush the caller's (its failure: NotOnDisk).
    void Commit();
    void NotOnDisk() { result_.outcome = CopyOutcome::NotOnDisk; }

private:
    CopyOutcome OpenCopy();
    CopyOutcome OpenPlace();
    CopyOutcome CreateNext();
    CopyOutcome SetNext();
    bool StillJudged();
    // The step failed: nothing replaced, and nothing made for it left.
    void Abandon(CopyOutcome why);
    void Undo();

    const CopyRequest& request_;
    const std::string name_;
    CopyResult result_;
    bool live_ = false;
    bool renamed_ = false;
    UniqueFd copy_;
    struct stat copyStatus_ {};
    // The archive's folders on the file's way, root first; once the file
    // is prepared only its own is held, and of the others what the folders
    // that keep its replaced bytes take after.
    std::vector<std::shared_ptr<const Folder>> folders_;
    std::vector<struct stat> mirrored_;
    std::vector<MadeFolder> made_;
    std::vector<MadeFolder> notTakenAway_;
    UniqueFd place_;  // the file judged, held
    struct stat placeStatus_ {};
    ReplacementFile next_;
    std::shared_ptr<const Folder> kept_;
    std::string keptName_;
    bool keptByUs_ = false;
};

CopyOutcome Copying::OpenCopy() {
    std::vector<std::shared_ptr<const Folder>> copyFolders;
    if (const CopyOutcome folders = OpenCopyFolders(request_, copyFolders); folders != CopyOutcome::Replaced)
        return folders;
    // The copy's file as the file it is: a link in its place is no copy of
    // a file, wherever it leads.
    copy_ = UniqueFd(OpenAt(Fd(*copyFolders.back()), name_, O_RDONLY | O_NOFOLLOW | O_NONBLOCK));
    if (!copy_.valid()) {
        if (Posix::IsMissing(errno)) return CopyOutcome::CopyMissing;
        struct stat status {};
        const bool there = StatusAt(*copyFolders.back(), name_, status);
        return there && !S_ISREG(status.st_mode) ? CopyOutcome::CopyNotAFile : CopyOutcome::CopyUnreadable;
    }
    if (!StatusOf(copy_.get(), copyStatus_)) return CopyOutcome::CopyUnreadable;
    if (!S_ISREG(copyStatus_.st_mode)) return CopyOutcome::CopyNotAFile;
    // A restore makes the folders on its way as the copy has them.
    for (std::size_t i = 1; i < copyFolders.size(); ++i) {
        struct stat folder {};
        if (!StatusOf(Fd(*copyFolders[i]), folder)) return CopyOutcome::CopyUnreadable;
        mirrored_.push_back(folder);
    }
    return CopyOutcome::Replaced;
}

CopyOutcome Copying::OpenPlace() {
    folders_.push_back(request_.archive);
    struct stat parent {};
    for (std::size_t i = 0; i + 1 < request_.names.size(); ++i) {
        if (!StatusOf(Fd(*folders_.back()), parent)) return CopyOutcome::NotWritten;
        FolderProblem problem = FolderProblem::None;
        const NewFolder asTheCopys{mirrored_[i].st_mode, parent};
        std::shared_ptr<const Folder> child =
            ChildFolder(folders_.back(), request_.names[i], restore() ? &asTheCopys : nullptr, &made_, &problem);
        // A folder of a file judged there is gone, or is a link now.
        if (!child) return restore() ? CopyOutcome::NotWritten : CopyOutcome::Changed;
        folders_.push_back(std::move(child));
        // From here on the folders kept bytes go in mirror the archive's.
        if (!StatusOf(Fd(*folders_.back()), mirrored_[i])) return CopyOutcome::NotWritten;
    }
    // Only the file's own folder stays open while others are prepared.
    folders_.erase(folders_.begin(), folders_.end() - 1);
    const Folder& folder = *folders_.back();
    if (restore()) {
        struct stat status {};
        if (StatusAt(folder, name_, status)) return CopyOutcome::Changed;
        return errno == ENOENT ? CopyOutcome::Restored : CopyOutcome::NotWritten;
    }
    // Held by descriptor, a link never followed, readable or not: what was
    // judged is what is compared just before the rename.
    place_ = UniqueFd(OpenAt(Fd(folder), name_, O_PATH | O_NOFOLLOW));
    if (!place_.valid() || !StatusOf(place_.get(), placeStatus_) || !S_ISREG(placeStatus_.st_mode))
        return CopyOutcome::Changed;
    const JudgedFile& judged = *request_.judged;
    if ((judged.size && static_cast<std::uint64_t>(placeStatus_.st_size) != *judged.size) ||
        (judged.modified && TimeOf(placeStatus_) != *judged.modified))
        return CopyOutcome::Changed;
    return CopyOutcome::Replaced;
}

CopyOutcome Copying::CreateNext() {
    const std::shared_ptr<const Folder>& folder = folders_.back();
    const std::u16string& name = request_.names.back();
    const std::u16string letters = RepairLetters(request_.names);
    if (next_.CreateWithLetters(folder, name, letters)) return CopyOutcome::Replaced;
    struct stat status {};
    if (StatusAt(*folder, ToSystemBytes(TemporaryName(letters)), status)) {
        RemoveLeftover(*folder, TemporaryName(letters), copy_.get());
    }
    if (!next_.CreateWithLetters(folder, name, letters) && !next_.Create(folder, name)) return CopyOutcome::NotWritten;
    return CopyOutcome::Replaced;
}

void Copying::Prepare() {
    if (request_.names.empty() || !request_.archive) return;  // NotWritten
    const CopyOutcome expected = restore() ? CopyOutcome::Restored : CopyOutcome::Replaced;
    CopyOutcome outcome = OpenCopy();
    if (outcome == CopyOutcome::Replaced) outcome = OpenPlace();
    if (outcome == expected) outcome = CreateNext() == CopyOutcome::Replaced ? expected : CopyOutcome::NotWritten;
    result_.outcome = outcome;
    live_ = outcome == expected;
    if (!live_) Undo();
}

void Copying::Written(const HashedCopy& copied) {
    if (!live_) return;
    copy_.reset();
    if (copied.end != CopyEnd::Copied) {
        Abandon(copied.end == CopyEnd::ReadFailed ? CopyOutcome::CopyUnreadable : CopyOutcome::NotWritten);
        return;
    }
    DigestDigits(copied.digest, result_.digits);
    if (std::memcmp(result_.digits, request_.digits, 32) != 0) {
        Abandon(CopyOutcome::CopyDiffers);
        return;
    }
    if (const CopyOutcome set = SetNext(); set != result_.outcome) Abandon(set);
    if (live_) next_.StartFlush();
}

// The new file's permissions (a restore's) and date, set once its bytes are
// all with the system, so that no write changes the date after.
CopyOutcome Copying::SetNext() {
    if (!next_.WritePending()) return CopyOutcome::NotWritten;
    const int fd = static_cast<int>(next_.handle().native());
    if (restore()) {
        // A restored file: the copy's permissions, and as root the owner of
        // the folder it is put in (the copy's owner may be no user here).
        struct stat folderStatus {};
        if (!StatusOf(Fd(*folders_.back()), folderStatus)) return CopyOutcome::NotWritten;
        if (::geteuid() == 0 && ::fchown(fd, folderStatus.st_uid, folderStatus.st_gid) != 0)
            return CopyOutcome::NotWritten;
        if (::fchmod(fd, copyStatus_.st_mode & 0777) != 0) return CopyOutcome::NotWritten;
    }
    const FileTime date = request_.modified.value_or(TimeOf(copyStatus_));
    const struct timespec times[2] = {{0, UTIME_NOW},
                                      {static_cast<time_t>(date.seconds), static_cast<long>(date.nanoseconds)}};
    if (::futimens(fd, times) != 0) return CopyOutcome::NotWritten;
    return result_.outcome;
}

// The replaced bytes linked at their path below `keptUnder`, in folders
// with the permissions and owner of the folders they mirror.
void Copying::Keep() {
    if (!live_ || restore()) return;
    struct stat root {};
    if (!StatusOf(Fd(*request_.archive), root)) return Abandon(CopyOutcome::NotKept);
    std::shared_ptr<const Folder> folder = request_.archive;
    FolderProblem problem = FolderProblem::None;
    for (const std::u16string& name : request_.keptUnder) {
        const NewFolder asTheRoot{root.st_mode, root};
        folder = ChildFolder(folder, name, &asTheRoot, &made_, &problem);
        if (!folder) return Abandon(CopyOutcome::NotKept);
    }
    for (std::size_t i = 0; i + 1 < request_.names.size(); ++i) {
        const NewFolder asTheMirrored{mirrored_[i].st_mode, mirrored_[i]};
        folder = ChildFolder(folder, request_.names[i], &asTheMirrored, &made_, &problem);
        if (!folder) return Abandon(CopyOutcome::NotKept);
    }
    const int from = Fd(*folders_.back());
    for (int n = 1; n <= kKeptNames; ++n) {
        const std::string name = n == 1 ? name_ : name_ + "." + std::to_string(n);
        struct stat there {};
        if (::linkat(from, name_.c_str(), Fd(*folder), name.c_str(), 0) == 0) {
            keptByUs_ = true;
            kept_ = folder;
            keptName_ = name;
        } else if (errno != EEXIST) {
            return Abandon(CopyOutcome::NotKept);
        }
        // Kept already (a repair stopped before its rename), or by us just
        // now: the name must lead to the file judged.
        if (!StatusAt(*folder, name, there)) return Abandon(CopyOutcome::NotKept);
        if (!SameObject(there, placeStatus_)) {
            // Another file took the name in the moment before our link.
            if (keptByUs_) return Abandon(CopyOutcome::Changed);
            continue;
        }
        kept_ = folder;
        keptName_ = name;
        return;
    }
    Abandon(CopyOutcome::NotKept);
}

// Just before the rename: the name still leads to the file judged, at the
// size and date it had.
bool Copying::StillJudged() {
    struct stat held {
    }, named{};
    return StatusOf(place_.get(), held) && Unchanged(placeStatus_, held) && StatusAt(*folders_.back(), name_, named) &&
           SameObject(named, placeStatus_);
}

void Copying::Commit() {
    if (!live_) return;
    const std::function<bool()> beforeRename = [&] { return restore() || StillJudged(); };
    if (next_.Commit(beforeRename, restore(), false) == CommitOutcome::Failed) {
        struct stat there {};
        // A repair whose file changed, or a restore that found the name
        // taken at the last moment; else the rename itself failed.
        const bool changed = restore() ? StatusAt(*folders_.back(), name_, there) : !StillJudged();
        Abandon(changed ? CopyOutcome::Changed : CopyOutcome::NotWritten);
        return;
    }
    live_ = false;  // done: nothing of it is taken away now
    renamed_ = true;
    keptByUs_ = false;
    made_.clear();
}

// An abandoned repair leaves the archive as it found it: no temporary file,
// no second link of bytes still in their place, no folder made for nothing
// (on the file's way, or below .sumvane-replaced for its kept bytes; the
// last made first, and only while empty).
void Copying::Abandon(CopyOutcome why) {
    result_.outcome = why;
    live_ = false;
    Undo();
}

void Copying::Undo() {
    next_.Discard();
    if (keptByUs_) ::unlinkat(Fd(*kept_), keptName_.c_str(), 0);
    keptByUs_ = false;
    for (auto made = made_.rbegin(); made != made_.rend(); ++made) {
        if (::unlinkat(Fd(*made->parent), made->name.c_str(), AT_REMOVEDIR) != 0) notTakenAway_.push_back(*made);
    }
    made_.clear();
}

// Folders made for files that were abandoned, once every file of the run
// is done: each that is empty now is taken away (one holding a file put in
// place stays). A folder may hold another of them until that one is gone.
void TakeAwayEmpty(std::vector<MadeFolder>& folders) {
    for (bool gone = true; gone;) {
        gone = false;
        for (auto folder = folders.begin(); folder != folders.end();) {
            if (::unlinkat(Fd(*folder->parent), folder->name.c_str(), AT_REMOVEDIR) == 0) {
                folder = folders.erase(folder);
                gone = true;
            } else {
                ++folder;
            }
        }
    }
}

// Each folder once, however many of the batch's files it holds; `failed`
// for each file whose folder's flush failed.
using FileInFolder = std::pair<Copying*, const Folder*>;
void SyncEach(const std::vector<FileInFolder>& files, void (Copying::*failed)()) {
    std::vector<std::pair<FileIdentity, bool>> synced;
    for (const FileInFolder& file : files) {
        const FileIdentity folder = file.second->identity();
        auto done = std::find_if(synced.begin(), synced.end(), [&](const auto& each) { return each.first == folder; });
        if (done == synced.end()) done = synced.insert(synced.end(), {folder, file.second->Sync()});
        if (!done->second) (file.first->*failed)();
    }
}

using Batch = std::vector<std::unique_ptr<Copying>>;

// A batch's files up to their flushes begun: their copies' bytes hashed
// side by side and written out.
void BeginBatch(const Batch& batch) {
    std::vector<CopyStream*> streams;
    for (const std::unique_ptr<Copying>& copying : batch) {
        copying->Prepare();
        if (copying->live()) streams.push_back(copying.get());
    }
    const std::vector<HashedCopy> copied = CopyHashed(streams);
    for (std::size_t i = 0; i < streams.size(); ++i) static_cast<Copying*>(streams[i])->Written(copied[i]);
}

// The rest of a batch's steps, together: its new files flushed, each
// folder flushed once; their results.
std::vector<CopyResult> FinishBatch(const Batch& batch) {
    for (const std::unique_ptr<Copying>& copying : batch) copying->Flush();
    // The replaced bytes are on the disk at their new name before any
    // rename takes their old one.
    std::vector<FileInFolder> kept, renamed;
    for (const std::unique_ptr<Copying>& copying : batch) {
        copying->Keep();
        if (copying->live() && copying->kept()) kept.emplace_back(copying.get(), copying->kept().get());
    }
    SyncEach(kept, &Copying::KeptNotOnDisk);
    for (const std::unique_ptr<Copying>& copying : batch) {
        copying->Commit();
        if (copying->renamed()) renamed.emplace_back(copying.get(), copying->place().get());
    }
    SyncEach(renamed, &Copying::NotOnDisk);
    std::vector<CopyResult> results;
    for (const std::unique_ptr<Copying>& copying : batch) results.push_back(copying->result());
    return results;
}

Batch BatchFrom(const std::vector<CopyRequest>& requests, std::size_t first) {
    Batch batch;
    for (std::size_t i = first; i < std::min(requests.size(), first + kCopiesAtOnce); ++i)
        batch.push_back(std::make_unique<Copying>(requests[i]));
    return batch;
}

}  // namespace

// Each batch is finished once the next is begun: the system writes the
// one's files to the disk while the other's are copied, so its flushes
// find them written. A batch left unfinished (an exception) is abandoned
// as each of its files is: nothing of it replaced.
void CopyAllIntoPlace(const std::vector<CopyRequest>& requests,
                      const std::function<void(const std::vector<CopyResult>& results)>& done) {
    std::vector<MadeFolder> abandoned;
    const auto finish = [&](Batch& batch) {
        done(FinishBatch(batch));
        for (const std::unique_ptr<Copying>& copying : batch) {
            std::vector<MadeFolder>& left = copying->notTakenAway();
            abandoned.insert(abandoned.end(), left.begin(), left.end());
        }
    };
    Batch waiting;
    for (std::size_t first = 0; first < requests.size(); first += kCopiesAtOnce) {
        Batch begun = BatchFrom(requests, first);
        BeginBatch(begun);
        if (!waiting.empty()) finish(waiting);
        waiting = std::move(begun);
    }
    if (!waiting.empty()) finish(waiting);
    TakeAwayEmpty(abandoned);
}

}  // namespace TesselLibrary
