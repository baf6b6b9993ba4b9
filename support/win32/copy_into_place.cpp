// CopyIntoPlace on Windows: every folder of both trees opened by name from
// its parent without entering a reparse point, the copy's file opened as
// the file it is, the new file made through ReplacementFile, and the
// replaced bytes kept by a hard link made just before the move that puts
// the new file in their place.
#include "copy_into_place.h"

#include <windows.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "file_facts.h"
#include "file_handle.h"
#include "file_times.h"
#include "handle.h"
#include "long_path.h"
#include "md5.h"
#include "repair_leftover.h"
#include "replacement_file.h"
#include "text.h"  // HexDigit

namespace TesselLibrary {

namespace {

using Win32::FileFacts;

// The copy's bytes go through in pieces of this size: one read of the copy,
// one write of the new file, with no more than this held.
constexpr std::uint32_t kPiece = std::uint32_t{1} << 20;
// A second repair of one file on one day keeps both old versions.
constexpr int kKeptNames = 100;

HANDLE Native(const FileHandle& file) { return reinterpret_cast<HANDLE>(file.native()); }

// What has the name `name` in `folder`, a link itself where there is one;
// false when nothing has it (`absent`, when given, tells nothing from a
// name that could not be looked at).
bool AttributesAt(const Folder& folder, const std::u16string& name, DWORD* attributes, bool* absent = nullptr) {
    *attributes = ::GetFileAttributesW(Win32::SystemPath(folder.path() + name).c_str());
    if (*attributes != INVALID_FILE_ATTRIBUTES) return true;
    const DWORD error = ::GetLastError();
    if (absent) *absent = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    return false;
}

void HexOf(const std::uint8_t (&value)[16], char (&digits)[32]) {
    for (int i = 0; i < 16; ++i) {
        digits[2 * i] = HexDigit(value[i] >> 4);
        digits[2 * i + 1] = HexDigit(value[i] & 15);
    }
}

// A folder made where there was none, to be taken away again when the
// repair is abandoned.
struct MadeFolder {
    std::shared_ptr<const Folder> parent;
    std::u16string name;
};

// The folder `name` in `parent`; made when it is missing and `make` is
// given, with the attributes `*make` (of those a file carries). A new
// folder takes its permissions from the one it is made in, as any does.
std::shared_ptr<const Folder> ChildFolder(const std::shared_ptr<const Folder>& parent, const std::u16string& name,
                                          const DWORD* make, std::vector<MadeFolder>* made) {
    FolderProblem problem = FolderProblem::None;
    std::shared_ptr<const Folder> child = parent->OpenChild(name, &problem);
    if (child || !make || problem != FolderProblem::NotFound) return child;
    const std::wstring path = Win32::SystemPath(parent->path() + name);
    if (!::CreateDirectoryW(path.c_str(), nullptr)) {
        if (::GetLastError() != ERROR_ALREADY_EXISTS) return nullptr;
    } else {
        made->push_back({parent, name});
    }
    child = parent->OpenChild(name, &problem);
    const DWORD attributes = *make & Win32::kCarriedAttributes & ~FILE_ATTRIBUTE_READONLY;
    if (child && attributes != 0 && !::SetFileAttributesW(path.c_str(), attributes)) return nullptr;
    return child;
}

class Copying {
public:
    explicit Copying(const CopyRequest& request) : request_(request), name_(request.names.back()) {}

    CopyResult Run();

private:
    CopyOutcome OpenCopy();
    CopyOutcome OpenPlace();
    CopyOutcome Write();
    CopyOutcome Settle();
    bool Keep();
    bool KeepAs(const std::shared_ptr<const Folder>& folder, const std::u16string& name, bool* taken);
    bool StillJudged();
    bool BeforeRename();
    void Undo();
    bool readOnly() const { return (placeFacts_.attributes & FILE_ATTRIBUTE_READONLY) != 0; }
    std::u16string placePath() const { return folders_.back()->path() + name_; }

    const CopyRequest& request_;
    const std::u16string name_;
    CopyResult result_;
    FileHandle copy_;
    FileFacts copyFacts_;
    std::vector<std::shared_ptr<const Folder>> copyFolders_;  // the copy's, root first
    std::vector<std::shared_ptr<const Folder>> folders_;      // the archive's, root first
    std::vector<MadeFolder> made_;
    Win32::Handle place_;  // the file judged, held
    FileFacts placeFacts_;
    ReplacementFile next_;
    std::shared_ptr<const Folder> kept_;
    std::u16string keptName_;
    bool keptByUs_ = false;
    bool madeWritable_ = false;  // the read-only attribute of the file judged taken away for the move
    CopyOutcome abandoned_ = CopyOutcome::NotWritten;
};

CopyOutcome Copying::OpenCopy() {
    if (const CopyOutcome folders = OpenCopyFolders(request_, copyFolders_); folders != CopyOutcome::Replaced)
        return folders;
    // The copy's file as the file it is: a link or junction in its place is
    // no copy of a file, wherever it leads.
    const Folder& folder = *copyFolders_.back();
    if (!copy_.Open(folder, name_, FileHandle::Mode::ReadNoLink)) {
        if (copy_.NotFound()) return CopyOutcome::CopyMissing;
        DWORD attributes = 0;
        const bool there = AttributesAt(folder, name_, &attributes);
        const DWORD notAFile = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;
        return there && (attributes & notAFile) ? CopyOutcome::CopyNotAFile : CopyOutcome::CopyUnreadable;
    }
    return Win32::FactsOf(Native(copy_), &copyFacts_) ? CopyOutcome::Replaced : CopyOutcome::CopyUnreadable;
}

CopyOutcome Copying::OpenPlace() {
    const bool restore = !request_.judged;
    folders_.push_back(request_.archive);
    for (std::size_t i = 0; i + 1 < request_.names.size(); ++i) {
        // A missing folder of a restore is made as the copy's is.
        FileFacts asTheCopys;
        if (restore && !Win32::FactsOf(reinterpret_cast<HANDLE>(copyFolders_[i + 1]->native()), &asTheCopys))
            return CopyOutcome::NotWritten;
        std::shared_ptr<const Folder> child =
            ChildFolder(folders_.back(), request_.names[i], restore ? &asTheCopys.attributes : nullptr, &made_);
        // A folder of a file judged there is gone, or is a link now.
        if (!child) return restore ? CopyOutcome::NotWritten : CopyOutcome::Changed;
        folders_.push_back(std::move(child));
    }
    if (restore) {
        DWORD attributes = 0;
        bool absent = false;
        if (AttributesAt(*folders_.back(), name_, &attributes, &absent)) return CopyOutcome::Changed;
        return absent ? CopyOutcome::Restored : CopyOutcome::NotWritten;
    }
    // Held, a link never followed, readable or not: what was judged is what
    // is compared just before the move.
    place_.reset(Win32::OpenItself(placePath(), 0));
    if (!place_ || !Win32::FactsOf(place_.get(), &placeFacts_) ||
        (placeFacts_.attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
        return CopyOutcome::Changed;
    const JudgedFile& judged = *request_.judged;
    if ((judged.size && placeFacts_.size != *judged.size) ||
        (judged.modified && placeFacts_.modified != *judged.modified))
        return CopyOutcome::Changed;
    return CopyOutcome::Replaced;
}

CopyOutcome Copying::Write() {
    const std::shared_ptr<const Folder>& folder = folders_.back();
    const std::u16string letters = RepairLetters(request_.names);
    if (!next_.CreateWithLetters(folder, name_, letters)) {
        if (!Win32::RemoveRepairLeftover(*folder, TemporaryName(letters), copy_)) return CopyOutcome::CopyUnreadable;
        if (!next_.CreateWithLetters(folder, name_, letters) && !next_.Create(folder, name_))
            return CopyOutcome::NotWritten;
    }
    thread_local Md5Provider provider;
    Md5Hash hash(provider);
    if (!provider.ok() || !hash.ok()) return CopyOutcome::NotWritten;
    std::vector<std::uint8_t> piece(kPiece);
    for (;;) {
        std::uint32_t got = 0;
        if (!copy_.Read(piece.data(), kPiece, &got)) return CopyOutcome::CopyUnreadable;
        if (got == 0) break;
        if (!hash.Update(piece.data(), got)) return CopyOutcome::NotWritten;
        if (!next_.Write(piece.data(), got)) return CopyOutcome::NotWritten;
    }
    std::uint8_t value[16];
    if (!hash.Final(value)) return CopyOutcome::NotWritten;
    HexOf(value, result_.digits);
    if (std::memcmp(result_.digits, request_.digits, 32) != 0) return CopyOutcome::CopyDiffers;
    return Settle();
}

// The new file's bytes handed to the system, then its attributes and dates:
// those of the file it replaces (for a restore, the copy's), and the date
// given, else the copy's.
CopyOutcome Copying::Settle() {
    if (!next_.WritePending()) return CopyOutcome::NotWritten;
    const FileFacts& like = request_.judged ? placeFacts_ : copyFacts_;
    const FILETIME modified = Win32::FileTimeOf(request_.modified.value_or(copyFacts_.modified));
    if (!Win32::SetBasics(Native(next_.handle()), like.attributes, &like.created, &modified))
        return CopyOutcome::NotWritten;
    return request_.judged ? CopyOutcome::Replaced : CopyOutcome::Restored;
}

// The replaced bytes linked at their path below `keptUnder`, in folders made
// as any new folder is there.
bool Copying::Keep() {
    std::shared_ptr<const Folder> folder = request_.archive;
    const DWORD plain = 0;
    for (const std::u16string& name : request_.keptUnder) {
        folder = ChildFolder(folder, name, &plain, &made_);
        if (!folder) return false;
    }
    for (std::size_t i = 0; i + 1 < request_.names.size(); ++i) {
        folder = ChildFolder(folder, request_.names[i], &plain, &made_);
        if (!folder) return false;
    }
    for (int n = 1; n <= kKeptNames; ++n) {
        const std::string number = std::to_string(n);
        const std::u16string name = n == 1 ? name_ : name_ + u"." + std::u16string(number.begin(), number.end());
        bool taken = false;
        if (KeepAs(folder, name, &taken)) return true;
        if (!taken) return false;
    }
    return false;
}

// The file judged linked as `name` in `folder`, or found there already (a
// repair stopped before its move); `taken`: another file has the name.
bool Copying::KeepAs(const std::shared_ptr<const Folder>& folder, const std::u16string& name, bool* taken) {
    const std::wstring to = Win32::SystemPath(folder->path() + name);
    if (::CreateHardLinkW(to.c_str(), Win32::SystemPath(placePath()).c_str(), nullptr)) {
        keptByUs_ = true;
        kept_ = folder;
        keptName_ = name;
    } else if (const DWORD error = ::GetLastError(); error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) {
        return false;
    }
    FileIdentity there;
    if (!folder->IdentityOf(name, &there)) return false;
    if (there != placeFacts_.identity) {
        if (!keptByUs_) {
            *taken = true;
            return false;
        }
        // Another file took the place's name in the moment before the link.
        folder->Remove(name);
        keptByUs_ = false;
        kept_.reset();
        abandoned_ = CopyOutcome::Changed;
        return false;
    }
    kept_ = folder;
    keptName_ = name;
    return true;
}

// Just before the move: the name still leads to the file judged, at the
// size and date it had.
bool Copying::StillJudged() {
    FileFacts held;
    FileIdentity named;
    return Win32::FactsOf(place_.get(), &held) && held.identity == placeFacts_.identity &&
           held.size == placeFacts_.size && held.modified == placeFacts_.modified &&
           folders_.back()->IdentityOf(name_, &named) && named == placeFacts_.identity;
}

bool Copying::BeforeRename() {
    abandoned_ = CopyOutcome::NotKept;
    if (!Keep()) return false;
    abandoned_ = CopyOutcome::Changed;
    if (!StillJudged()) return false;
    // A read-only file is replaced by no move: the attribute goes for the
    // moment of it, and comes back on the kept bytes.
    abandoned_ = CopyOutcome::NotWritten;
    if (readOnly()) {
        if (!Win32::SetAttributesOf(placePath(), placeFacts_.identity,
                                    placeFacts_.attributes & ~FILE_ATTRIBUTE_READONLY))
            return false;
        madeWritable_ = true;
    }
    // Not held through the move, which a file open elsewhere may stop.
    place_.reset();
    return true;
}

// An abandoned repair leaves the archive as it found it: no second link
// of bytes still in their place, the file's attributes as they were, no
// folder made for nothing.
void Copying::Undo() {
    // Removing a link of a read-only file takes the attribute from the file.
    const bool attributesTaken = madeWritable_ || (keptByUs_ && readOnly());
    if (keptByUs_) kept_->Remove(keptName_);
    if (attributesTaken) Win32::SetAttributesOf(placePath(), placeFacts_.identity, placeFacts_.attributes);
    keptByUs_ = false;
    madeWritable_ = false;
    // Folders held open cannot be removed.
    kept_.reset();
    place_.reset();
    folders_.clear();
    for (auto made = made_.rbegin(); made != made_.rend(); ++made) {
        ::RemoveDirectoryW(Win32::SystemPath(made->parent->path() + made->name).c_str());
        made->parent.reset();
    }
    made_.clear();
}

CopyResult Copying::Run() {
    if (request_.names.empty() || !request_.archive) return result_;
    result_.outcome = OpenCopy();
    if (result_.outcome == CopyOutcome::Replaced) result_.outcome = OpenPlace();
    if (result_.outcome == CopyOutcome::Replaced || result_.outcome == CopyOutcome::Restored) result_.outcome = Write();
    const bool restore = !request_.judged;
    if (result_.outcome != (restore ? CopyOutcome::Restored : CopyOutcome::Replaced)) {
        next_.Discard();
        Undo();
        return result_;
    }
    const std::function<bool()> beforeRename = [&] { return restore || BeforeRename(); };
    const CommitOutcome committed = next_.Commit(beforeRename, restore);
    if (committed == CommitOutcome::Failed) {
        DWORD attributes = 0;
        // A restore that found the name taken at the last moment.
        if (restore && AttributesAt(*folders_.back(), name_, &attributes)) abandoned_ = CopyOutcome::Changed;
        result_.outcome = abandoned_;
        Undo();
        return result_;
    }
    if (madeWritable_) Win32::SetAttributesOf(kept_->path() + keptName_, placeFacts_.identity, placeFacts_.attributes);
    if (committed == CommitOutcome::ReplacedNotOnDisk) result_.outcome = CopyOutcome::NotOnDisk;
    return result_;
}

}  // namespace

// One after another: each repair here flushes its own file and folder, and
// is said as soon as it is in place.
void CopyAllIntoPlace(const std::vector<CopyRequest>& requests,
                      const std::function<void(const std::vector<CopyResult>& results)>& done) {
    for (const CopyRequest& request : requests) done({Copying(request).Run()});
}

}  // namespace TesselLibrary
