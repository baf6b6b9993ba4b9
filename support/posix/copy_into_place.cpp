// CopyIntoPlace on POSIX: every folder of both trees opened by name from its
// parent's descriptor without following a link, the new file made through
// ReplacementFile, the replaced bytes kept by a second link made just before
// the rename.
#include "copy_into_place.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <vector>

#include "error_kinds.h"
#include "file_descriptor.h"
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
    struct stat status {}, named {};
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

class Copying {
public:
    explicit Copying(const CopyRequest& request) : request_(request), name_(ToSystemBytes(request.names.back())) {}

    CopyResult Run();

private:
    CopyOutcome OpenCopy();
    CopyOutcome OpenPlace();
    CopyOutcome Write();
    bool Keep();
    bool StillJudged();
    void Undo();

    const CopyRequest& request_;
    const std::string name_;
    CopyResult result_;
    UniqueFd copy_;
    struct stat copyStatus_ {};
    std::vector<std::shared_ptr<const Folder>> copyFolders_;  // the copy's, root first
    std::vector<std::shared_ptr<const Folder>> folders_;      // the archive's, root first
    std::vector<MadeFolder> made_;
    UniqueFd place_;  // the file judged, held
    struct stat placeStatus_ {};
    ReplacementFile next_;
    std::shared_ptr<const Folder> kept_;
    std::string keptName_;
    bool keptByUs_ = false;
    CopyOutcome abandoned_ = CopyOutcome::NotWritten;
};

CopyOutcome Copying::OpenCopy() {
    if (const CopyOutcome folders = OpenCopyFolders(request_, copyFolders_); folders != CopyOutcome::Replaced)
        return folders;
    // The copy's file as the file it is: a link in its place is no copy of
    // a file, wherever it leads.
    copy_ = UniqueFd(OpenAt(Fd(*copyFolders_.back()), name_, O_RDONLY | O_NOFOLLOW | O_NONBLOCK));
    if (!copy_.valid()) {
        if (Posix::IsMissing(errno)) return CopyOutcome::CopyMissing;
        struct stat status {};
        const bool there = StatusAt(*copyFolders_.back(), name_, status);
        return there && !S_ISREG(status.st_mode) ? CopyOutcome::CopyNotAFile : CopyOutcome::CopyUnreadable;
    }
    if (!StatusOf(copy_.get(), copyStatus_)) return CopyOutcome::CopyUnreadable;
    if (!S_ISREG(copyStatus_.st_mode)) return CopyOutcome::CopyNotAFile;
    return CopyOutcome::Replaced;
}

CopyOutcome Copying::OpenPlace() {
    const bool restore = !request_.judged;
    folders_.push_back(request_.archive);
    struct stat parent {};
    for (std::size_t i = 0; i + 1 < request_.names.size(); ++i) {
        struct stat copyFolder {};
        if (!StatusOf(Fd(*folders_.back()), parent) || !StatusOf(Fd(*copyFolders_[i + 1]), copyFolder))
            return CopyOutcome::NotWritten;
        FolderProblem problem = FolderProblem::None;
        const NewFolder asTheCopys{copyFolder.st_mode, parent};
        std::shared_ptr<const Folder> child =
            ChildFolder(folders_.back(), request_.names[i], restore ? &asTheCopys : nullptr, &made_, &problem);
        // A folder of a file judged there is gone, or is a link now.
        if (!child) return restore ? CopyOutcome::NotWritten : CopyOutcome::Changed;
        folders_.push_back(std::move(child));
    }
    const Folder& folder = *folders_.back();
    if (restore) {
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

CopyOutcome Copying::Write() {
    const std::shared_ptr<const Folder>& folder = folders_.back();
    const std::u16string& name = request_.names.back();
    const std::u16string letters = RepairLetters(request_.names);
    if (!next_.CreateWithLetters(folder, name, letters)) {
        struct stat status {};
        if (StatusAt(*folder, ToSystemBytes(TemporaryName(letters)), status)) {
            RemoveLeftover(*folder, TemporaryName(letters), copy_.get());
        }
        if (!next_.CreateWithLetters(folder, name, letters) && !next_.Create(folder, name)) return CopyOutcome::NotWritten;
    }
    thread_local Md5Provider provider;
    Md5Hash hash(provider);
    if (!provider.ok() || !hash.ok()) return CopyOutcome::NotWritten;
    std::vector<std::uint8_t> piece(kPiece);
    for (;;) {
        std::size_t got = 0;
        if (!Posix::ReadFully(copy_.get(), piece.data(), piece.size(), &got)) return CopyOutcome::CopyUnreadable;
        if (got == 0) break;
        const auto length = static_cast<std::uint32_t>(got);
        if (!hash.Update(piece.data(), length)) return CopyOutcome::NotWritten;
        if (!next_.Write(piece.data(), length)) return CopyOutcome::NotWritten;
    }
    std::uint8_t value[16];
    if (!hash.Final(value)) return CopyOutcome::NotWritten;
    DigestDigits(value, result_.digits);
    if (std::memcmp(result_.digits, request_.digits, 32) != 0) return CopyOutcome::CopyDiffers;
    if (!next_.WritePending()) return CopyOutcome::NotWritten;
    const int fd = static_cast<int>(next_.handle().native());
    if (!request_.judged) {
        // A restored file: the copy's permissions, and as root the owner of
        // the folder it is put in (the copy's owner may be no user here).
        struct stat folderStatus {};
        if (!StatusOf(Fd(*folder), folderStatus)) return CopyOutcome::NotWritten;
        if (::geteuid() == 0 && ::fchown(fd, folderStatus.st_uid, folderStatus.st_gid) != 0)
            return CopyOutcome::NotWritten;
        if (::fchmod(fd, copyStatus_.st_mode & 0777) != 0) return CopyOutcome::NotWritten;
    }
    const FileTime date = request_.modified.value_or(TimeOf(copyStatus_));
    const struct timespec times[2] = {{0, UTIME_NOW},
                                      {static_cast<time_t>(date.seconds), static_cast<long>(date.nanoseconds)}};
    if (::futimens(fd, times) != 0) return CopyOutcome::NotWritten;
    return request_.judged ? CopyOutcome::Replaced : CopyOutcome::Restored;
}

// The replaced bytes linked at their path below `keptUnder`, in folders
// with the permissions and owner of the folders they mirror.
bool Copying::Keep() {
    struct stat root {};
    if (!StatusOf(Fd(*request_.archive), root)) return false;
    std::shared_ptr<const Folder> folder = request_.archive;
    FolderProblem problem = FolderProblem::None;
    for (const std::u16string& name : request_.keptUnder) {
        const NewFolder asTheRoot{root.st_mode, root};
        folder = ChildFolder(folder, name, &asTheRoot, &made_, &problem);
        if (!folder) return false;
    }
    for (std::size_t i = 0; i + 1 < request_.names.size(); ++i) {
        struct stat mirrored {};
        if (!StatusOf(Fd(*folders_[i + 1]), mirrored)) return false;
        const NewFolder asTheMirrored{mirrored.st_mode, mirrored};
        folder = ChildFolder(folder, request_.names[i], &asTheMirrored, &made_, &problem);
        if (!folder) return false;
    }
    const int from = Fd(*folders_.back());
    for (int n = 1; n <= kKeptNames; ++n) {
        const std::string name = n == 1 ? name_ : name_ + "." + std::to_string(n);
        struct stat there {};
        if (::linkat(from, name_.c_str(), Fd(*folder), name.c_str(), 0) == 0) {
            keptByUs_ = true;
        } else if (errno != EEXIST) {
            return false;
        }
        // Kept already (a repair stopped before its rename), or by us just
        // now: the name must lead to the file judged.
        if (!StatusAt(*folder, name, there)) return false;
        if (!SameObject(there, placeStatus_)) {
            if (keptByUs_) {
                // Another file took the name in the moment before the link.
                ::unlinkat(Fd(*folder), name.c_str(), 0);
                keptByUs_ = false;
                abandoned_ = CopyOutcome::Changed;
                return false;
            }
            continue;
        }
        kept_ = folder;
        keptName_ = name;
        return kept_->Sync();
    }
    return false;
}

// Just before the rename: the name still leads to the file judged, at the
// size and date it had.
bool Copying::StillJudged() {
    struct stat held {}, named {};
    return StatusOf(place_.get(), held) && Unchanged(placeStatus_, held) && StatusAt(*folders_.back(), name_, named) &&
           SameObject(named, placeStatus_);
}

// An abandoned repair leaves the archive as it found it: no second link
// of bytes still in their place, no folder made for nothing (on the file's
// way, or below .sumvane-replaced for its kept bytes; the last made first,
// and only while empty).
void Copying::Undo() {
    if (keptByUs_) ::unlinkat(Fd(*kept_), keptName_.c_str(), 0);
    keptByUs_ = false;
    for (auto made = made_.rbegin(); made != made_.rend(); ++made) {
        ::unlinkat(Fd(*made->parent), made->name.c_str(), AT_REMOVEDIR);
    }
    made_.clear();
}

CopyResult Copying::Run() {
    if (request_.names.empty() || !request_.archive) return result_;
    result_.outcome = OpenCopy();
    if (result_.outcome == CopyOutcome::Replaced) result_.outcome = OpenPlace();
    if (result_.outcome == CopyOutcome::Replaced || result_.outcome == CopyOutcome::Restored)
        result_.outcome = Write();
    const bool restore = !request_.judged;
    if (result_.outcome != (restore ? CopyOutcome::Restored : CopyOutcome::Replaced)) {
        next_.Discard();
        Undo();
        return result_;
    }
    const std::function<bool()> beforeRename = [&] {
        if (restore) return true;
        abandoned_ = CopyOutcome::NotKept;
        if (!Keep()) return false;
        abandoned_ = CopyOutcome::Changed;
        return StillJudged();
    };
    switch (next_.Commit(beforeRename, restore)) {
        case CommitOutcome::Replaced:
            break;
        case CommitOutcome::ReplacedNotOnDisk:
            result_.outcome = CopyOutcome::NotOnDisk;
            break;
        case CommitOutcome::Failed: {
            struct stat there {};
            // A restore that found the name taken at the last moment.
            if (restore && StatusAt(*folders_.back(), name_, there)) abandoned_ = CopyOutcome::Changed;
            result_.outcome = abandoned_;
            Undo();
            break;
        }
    }
    return result_;
}

}  // namespace

CopyResult CopyIntoPlace(const CopyRequest& request) { return Copying(request).Run(); }

}  // namespace TesselLibrary
