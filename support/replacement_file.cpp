// ReplacementFile: a locked temporary file in the folder, written in blocks,
// flushed and renamed over the name; and the registry of those in progress
// that the interrupt handling removes.
#include "replacement_file.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <random>

#include "name_compare.h"

namespace TesselLibrary {

namespace {

// ".sumvane-" and eight letters or digits, then ".tmp": short, so that it
// fits in a folder wherever the name it replaces fits.
constexpr char16_t kPrefix[] = u".sumvane-";
constexpr char16_t kSuffix[] = u".tmp";
constexpr std::size_t kPrefixLength = sizeof kPrefix / sizeof(char16_t) - 1;
constexpr std::size_t kSuffixLength = sizeof kSuffix / sizeof(char16_t) - 1;
constexpr std::size_t kRandomLength = 8;
// What earlier versions put after the name they replaced.
constexpr char16_t kOldMarker[] = u".tmp-";
constexpr std::size_t kOldMarkerLength = sizeof kOldMarker / sizeof(char16_t) - 1;
constexpr char kRandomCharacters[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
// A name taken by chance (or by a stale file) is tried again with new letters.
constexpr int kNameAttempts = 16;
// A new file's bytes go out in blocks of this size, not a system call per
// piece Write is handed.
constexpr std::size_t kWriteBlock = std::size_t{64} << 10;

std::u16string RandomLetters() {
    thread_local std::mt19937_64 generator([] {
        std::random_device device;
        const auto now = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
        return (static_cast<std::uint64_t>(device()) << 32) ^ device() ^ now;
    }());
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kRandomCharacters - 2);
    std::u16string letters;
    for (std::size_t i = 0; i < kRandomLength; ++i)
        letters.push_back(static_cast<char16_t>(kRandomCharacters[pick(generator)]));
    return letters;
}

bool IsLetterOrDigit(char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

bool AllLettersOrDigits(const std::u16string& text, std::size_t from, std::size_t count) {
    for (std::size_t i = from; i < from + count; ++i) {
        if (!IsLetterOrDigit(text[i])) return false;
    }
    return true;
}

struct InProgress {
    std::shared_ptr<const Folder> folder;
    std::u16string name;
};

struct Registry {
    std::timed_mutex mutex;
    std::vector<InProgress> files;
};

// How long an interrupt waits for a temporary file being made at that moment
// to appear: a moment on a working disk; a disk that hangs must not hold up
// the end of the process (what it leaves is a killed run's leftover, which
// the next build removes).
constexpr std::chrono::seconds kCreationWait{2};

// Never destroyed: an interrupt may arrive while the process is ending.
Registry& Files() {
    static Registry& registry = *new Registry;
    return registry;
}

// Made and registered in one step under the registry's lock: an interrupt's
// clean-up either finds the new file or comes first, and then holds the lock
// until the process is gone, so that no file is made after it.
bool CreateRegistered(FileHandle& handle, const std::shared_ptr<const Folder>& folder, const std::u16string& name,
                      bool report) {
    Registry& registry = Files();
    std::lock_guard<std::timed_mutex> lock(registry.mutex);
    if (!handle.Open(*folder, name, report ? FileHandle::Mode::CreateReport : FileHandle::Mode::CreateNew))
        return false;
    registry.files.push_back({folder, name});
    return true;
}

void Unregister(const Folder& folder, const std::u16string& name) {
    Registry& registry = Files();
    std::lock_guard<std::timed_mutex> lock(registry.mutex);
    const auto found = std::find_if(registry.files.begin(), registry.files.end(), [&](const InProgress& file) {
        return file.folder.get() == &folder && file.name == name;
    });
    if (found != registry.files.end()) registry.files.erase(found);
}

}  // namespace

ReplacementFile::~ReplacementFile() { Discard(); }

bool ReplacementFile::Create(std::shared_ptr<const Folder> folder, const std::u16string& name, bool report) {
    Discard();
    if (!folder) return false;
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        if (CreateNamed(folder, name, kPrefix + RandomLetters() + kSuffix, report)) return true;
        if (handle_.NotFound()) return false;  // the folder is gone
    }
    return false;
}

bool ReplacementFile::CreateWithLetters(std::shared_ptr<const Folder> folder, const std::u16string& name,
                                        const std::u16string& letters) {
    Discard();
    return folder && letters.size() == kRandomLength && AllLettersOrDigits(letters, 0, kRandomLength) &&
           CreateNamed(folder, name, TemporaryName(letters), false);
}

bool ReplacementFile::CreateNamed(const std::shared_ptr<const Folder>& folder, const std::u16string& name,
                                  const std::u16string& candidate, bool report) {
    if (!CreateRegistered(handle_, folder, candidate, report)) return false;
    // Locked as the mark of a live run. A build cleaning up leftovers may
    // have removed the file in the moment before the lock: then the name
    // no longer leads to it, and another is made.
    FileIdentity made, named;
    const bool ours =
        handle_.TryLock() && handle_.Identity(&made) && folder->IdentityOf(candidate, &named) && made == named;
    if (!ours) {
        handle_.Close();
        Unregister(*folder, candidate);
        return false;
    }
    folder_ = folder;
    name_ = name;
    temporaryName_ = candidate;
    // Without the old file's permissions the new one could show what its
    // owner kept private: then it must not replace it.
    failed_ = !handle_.TakeModeOf(*folder_, name_, report);
    pending_.clear();
    return true;
}

std::u16string TemporaryName(const std::u16string& letters) { return kPrefix + letters + kSuffix; }

bool ReplacementFile::Write(const void* data, std::uint32_t length) {
    if (!active() || failed_) return false;
    flushed_ = false;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    // Whole blocks with nothing gathered before them go out as they are,
    // without a copy.
    if (pending_.empty() && length >= kWriteBlock) {
        const std::uint32_t whole = length - length % kWriteBlock;
        failed_ = !handle_.WriteWhole(bytes, whole);
        bytes += whole;
        length -= whole;
        if (failed_) return false;
    }
    pending_.insert(pending_.end(), bytes, bytes + length);
    return pending_.size() < kWriteBlock || WriteBlocks();
}

void ReplacementFile::StartFlush() {
    if (active() && !failed_ && WriteBlocks()) handle_.StartFlush();
}

bool ReplacementFile::Flush() {
    flushed_ = active() && !failed_ && WriteBlocks() && handle_.Flush();
    return flushed_;
}

bool ReplacementFile::WriteBlocks() {
    for (std::size_t at = 0; !failed_ && at < pending_.size(); at += kWriteBlock) {
        const std::size_t piece = std::min(pending_.size() - at, kWriteBlock);
        failed_ = !handle_.WriteWhole(pending_.data() + at, static_cast<std::uint32_t>(piece));
    }
    pending_.clear();
    return !failed_;
}

CommitOutcome ReplacementFile::Commit(const std::function<bool()>& beforeRename, bool noReplace, bool flushFolder) {
    if (!active()) return CommitOutcome::Failed;
    // Renamed while still open and locked, so that no build cleaning up can
    // take it for a leftover in between.
    const bool complete =
        (flushed_ || Flush()) && (!beforeRename || beforeRename()) &&
        (noReplace ? folder_->RenameNoReplace(temporaryName_, name_) : folder_->Rename(temporaryName_, name_));
    if (!complete) {
        Discard();
        return CommitOutcome::Failed;
    }
    handle_.Close();
    Unregister(*folder_, temporaryName_);
    const bool onDisk = !flushFolder || folder_->Sync();
    folder_.reset();
    temporaryName_.clear();
    return onDisk ? CommitOutcome::Replaced : CommitOutcome::ReplacedNotOnDisk;
}

void ReplacementFile::Discard() {
    if (!active()) return;
    handle_.Close();
    folder_->Remove(temporaryName_);
    Unregister(*folder_, temporaryName_);
    folder_.reset();
    temporaryName_.clear();
    failed_ = false;
    flushed_ = false;
    pending_.clear();
}

bool IsTemporaryName(const std::u16string& name, const std::u16string& fileName) {
    if (name.size() == kPrefixLength + kRandomLength + kSuffixLength &&
        NamesEqualIgnoringCase(name.substr(0, kPrefixLength), kPrefix) &&
        NamesEqualIgnoringCase(name.substr(kPrefixLength + kRandomLength), kSuffix) &&
        AllLettersOrDigits(name, kPrefixLength, kRandomLength))
        return true;
    return !fileName.empty() && name.size() == fileName.size() + kOldMarkerLength + kRandomLength &&
           NamesEqualIgnoringCase(name.substr(0, fileName.size()), fileName) &&
           NamesEqualIgnoringCase(name.substr(fileName.size(), kOldMarkerLength), kOldMarker) &&
           AllLettersOrDigits(name, fileName.size() + kOldMarkerLength, kRandomLength);
}

TemporaryFound RemoveLeftoverTemporaryFile(const Folder& folder, const std::u16string& name,
                                           ReplacementContents& contents) {
    FileHandle file;
    if (!file.Open(folder, name, FileHandle::Mode::ReadNoLink))
        return file.NotFound() ? TemporaryFound::Gone : TemporaryFound::Other;
    if (!file.TryLock()) return TemporaryFound::Live;
    FileIdentity opened;
    if (!file.Identity(&opened)) return TemporaryFound::Other;
    // Read while it is locked: a run that starts writing a file of this name
    // meanwhile makes a new one.
    std::vector<std::uint8_t> piece(kWriteBlock);
    for (;;) {
        std::uint32_t got = 0;
        if (!file.Read(piece.data(), static_cast<std::uint32_t>(piece.size()), &got)) return TemporaryFound::Other;
        if (got == 0) break;
        if (!contents.Feed(piece.data(), got)) return TemporaryFound::Other;
    }
    if (!contents.Whole()) return TemporaryFound::Other;
    // Closed first: Windows removes no file that is open without delete sharing.
    file.Close();
    FileIdentity named;
    if (folder.IdentityOf(name, &named) && named == opened) folder.Remove(name);
    return TemporaryFound::Leftover;
}

void RemoveTemporaryFiles() {
    Registry& registry = Files();
    // Never let go: the process ends next, and a replacement another thread
    // starts meanwhile waits here instead of leaving its file behind.
    if (!registry.mutex.try_lock_for(kCreationWait)) return;
    for (const InProgress& file : registry.files) file.folder->Remove(file.name);
    registry.files.clear();
}

}  // namespace TesselLibrary
