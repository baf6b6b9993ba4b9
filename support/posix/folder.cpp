// Folder on POSIX: a descriptor opened with O_DIRECTORY, every name inside
// reached with the *at(2) calls relative to it. A child is opened with
// O_NOFOLLOW, so a name that is (or has become) a link is never entered.
#include "folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

#include "error_kinds.h"
#include "name_compare.h"
#include "platform.h"
#include "text.h"
#include "path.h"
#include "retry.h"

namespace TesselLibrary {

namespace {

// One getdents64 call fills this much: a folder of some thousand entries in
// one or two calls instead of one per 32 KiB.
constexpr std::size_t kListingBuffer = std::size_t{256} << 10;

// A name the system may take as one entry of this folder, judged on the
// very bytes it is handed (IsEntryName of path.h judges the text before its
// conversion to them): no separator, and not "." or "..", which would lead
// elsewhere.
bool IsOneName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

int OpenDirectory(int at, const std::string& name, int extraFlags) {
    return Posix::RetryOnInterrupt(
        [&] { return ::openat(at, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY | extraFlags); });
}

bool IdentityOfOpen(int fd, FileIdentity* identity) {
    struct stat status {};
    if (::fstat(fd, &status) != 0) return false;
    identity->device = static_cast<std::uint64_t>(status.st_dev);
    identity->node = static_cast<std::uint64_t>(status.st_ino);
    return true;
}

// What the listing said of a name (its d_type), made sure with a call
// where it cannot tell, or where a file's size is wanted.
struct Resolved {
    bool isDirectory = false;
    bool isLink = false;
    std::uint64_t size = 0;
};

Resolved Resolve(int folder, const char* name, unsigned char type, bool sizes) {
    Resolved entry;
    struct stat status {};
    const bool needStatus = type == DT_UNKNOWN || (sizes && type == DT_REG);
    if (needStatus && ::fstatat(folder, name, &status, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISLNK(status.st_mode))
            type = DT_LNK;
        else if (S_ISDIR(status.st_mode))
            type = DT_DIR;
        else if (S_ISREG(status.st_mode))
            entry.size = static_cast<std::uint64_t>(status.st_size);
    }
    if (type == DT_DIR) {
        entry.isDirectory = true;
    } else if (type == DT_LNK) {
        entry.isLink = true;
        // The link's target decides; a dangling link is no folder.
        struct stat target {};
        const bool reached = ::fstatat(folder, name, &target, 0) == 0;
        entry.isDirectory = reached && S_ISDIR(target.st_mode);
        if (reached && S_ISREG(target.st_mode)) entry.size = static_cast<std::uint64_t>(target.st_size);
    }
    return entry;
}

// ListedBefore on the UTF-16 forms of two names as the system gave them. A
// name of ASCII alone (nearly every name) is its UTF-16 form byte for byte,
// so two such compare as they are, their letters upper-cased; any other is
// converted first.
bool StoredBefore(std::string_view a, bool aAscii, std::string_view b, bool bAscii) {
    if (!aAscii || !bAscii) return ListedBefore(FromSystemBytes(a), FromSystemBytes(b));
    const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - ('a' - 'A')) : c; };
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const char x = upper(a[i]);
        const char y = upper(b[i]);
        if (x != y) return x < y;
    }
    if (a.size() != b.size()) return a.size() < b.size();
    return std::memcmp(a.data(), b.data(), a.size()) < 0;
}

int Fd(std::intptr_t native) { return static_cast<int>(native); }

// The descriptor of a folder just opened, with its identity; -1, the reason
// in `problem`, when the open failed or the folder cannot be looked at.
int Checked(int fd, FileIdentity* identity, FolderProblem* problem) {
    if (fd < 0 || !IdentityOfOpen(fd, identity)) {
        const int error = errno;
        if (fd >= 0) ::close(fd);
        if (problem) *problem = Posix::FolderProblemOf(error);
        return -1;
    }
    if (problem) *problem = FolderProblem::None;
    return fd;
}

}  // namespace

Folder::~Folder() { ::close(Fd(native_)); }

std::shared_ptr<Folder> Folder::Open(const std::u16string& path, FolderProblem* problem) {
    const std::string bytes = path.empty() ? std::string(".") : ToSystemBytes(path);
    FileIdentity identity;
    const int fd = Checked(OpenDirectory(AT_FDCWD, bytes, 0), &identity, problem);
    if (fd < 0) return nullptr;
    std::u16string shown = path;
    AppendSeparator(shown);
    return std::shared_ptr<Folder>(new Folder(fd, std::move(shown), identity));
}

std::shared_ptr<Folder> Folder::OpenChild(const std::u16string& name, FolderProblem* problem) const {
    const std::string bytes = ToSystemBytes(name);
    if (!IsOneName(bytes)) {
        if (problem) *problem = FolderProblem::NotAFolder;
        return nullptr;
    }
    FileIdentity identity;
    const int fd = Checked(OpenDirectory(Fd(native_), bytes, O_NOFOLLOW), &identity, problem);
    if (fd < 0) return nullptr;
    return std::shared_ptr<Folder>(new Folder(fd, SubfolderPath(path_, name), identity));
}

std::u16string FolderListing::name(std::size_t index) const {
    const Entry& entry = entries_[index];
    return FromSystemBytes(std::string_view(Stored(entry), entry.length));
}

bool Folder::List(FolderListing& listing, bool sizes) const {
    // getdents64 reads on from the descriptor's own position; the folder is
    // listed once, from its start.
    const int fd = Fd(native_);
    thread_local std::unique_ptr<char[]> buffer;
    if (!buffer) buffer = std::make_unique<char[]>(kListingBuffer);
    bool complete = true;
    for (;;) {
        const ssize_t got = Posix::RetryOnInterrupt([&] { return ::getdents64(fd, buffer.get(), kListingBuffer); });
        if (got < 0) {
            complete = false;
            break;
        }
        if (got == 0) break;
        for (ssize_t at = 0; at < got;) {
            const auto* found = reinterpret_cast<const dirent64*>(buffer.get() + at);
            at += found->d_reclen;
            const char* name = found->d_name;
            if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
            listing.Add(name, std::strlen(name), found->d_type);
        }
    }
    using Entry = FolderListing::Entry;
    std::sort(listing.entries_.begin(), listing.entries_.end(), [&](const Entry& a, const Entry& b) {
        return StoredBefore({listing.Stored(a), a.length}, (a.kind & FolderListing::kAscii) != 0,
                            {listing.Stored(b), b.length}, (b.kind & FolderListing::kAscii) != 0);
    });
    // What each entry is, now that the order is known: the sizes are kept
    // by position.
    if (sizes) listing.sizes_.resize(listing.entries_.size());
    for (std::size_t i = 0; i < listing.entries_.size(); ++i) {
        Entry& entry = listing.entries_[i];
        const Resolved resolved = Resolve(fd, listing.Stored(entry), entry.type, sizes);
        if (resolved.isDirectory) entry.kind |= FolderListing::kDirectory;
        if (resolved.isLink) entry.kind |= FolderListing::kLink;
        if (sizes) listing.sizes_[i] = resolved.size;
    }
    return complete;
}

bool Folder::IdentityOf(const std::u16string& name, FileIdentity* identity) const {
    const std::string bytes = ToSystemBytes(name);
    struct stat status {};
    if (!IsOneName(bytes) || ::fstatat(Fd(native_), bytes.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) return false;
    identity->device = static_cast<std::uint64_t>(status.st_dev);
    identity->node = static_cast<std::uint64_t>(status.st_ino);
    return true;
}

bool Folder::Remove(const std::u16string& name) const {
    const std::string bytes = ToSystemBytes(name);
    return IsOneName(bytes) && ::unlinkat(Fd(native_), bytes.c_str(), 0) == 0;
}

// Unlinking frees the name at once, whoever holds the file open.
bool Folder::RemoveUnheld(const std::u16string& name) const { return Remove(name); }

bool Folder::Rename(const std::u16string& from, const std::u16string& to) const {
    const std::string source = ToSystemBytes(from);
    const std::string target = ToSystemBytes(to);
    if (!IsOneName(source) || !IsOneName(target)) return false;
    // rename(2) replaces whatever has the name, a link included, in one step.
    return ::renameat(Fd(native_), source.c_str(), Fd(native_), target.c_str()) == 0;
}

bool Folder::RenameNoReplace(const std::u16string& from, const std::u16string& to) const {
    const std::string source = ToSystemBytes(from);
    const std::string target = ToSystemBytes(to);
    if (!IsOneName(source) || !IsOneName(target)) return false;
    if (::renameat2(Fd(native_), source.c_str(), Fd(native_), target.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // A file system without the flag: a new link fails as well when the name
    // is taken; the temporary name then goes.
    if (::linkat(Fd(native_), source.c_str(), Fd(native_), target.c_str(), 0) != 0) return false;
    ::unlinkat(Fd(native_), source.c_str(), 0);
    return true;
}

bool Folder::Sync() const {
    const int result = Posix::RetryOnInterrupt([&] { return ::fsync(Fd(native_)); });
    return result == 0 || errno == EINVAL;  // EINVAL: a file system without folder sync
}

bool Folder::TryLock() const {
    const int result = Posix::RetryOnInterrupt([&] { return ::flock(Fd(native_), LOCK_EX | LOCK_NB); });
    // A file system without locks cannot tell: the run goes on.
    return result == 0 || errno != EWOULDBLOCK;
}

bool Folder::KeepsTwoSecondDates() const {
    struct statfs system {};
    return ::fstatfs(Fd(native_), &system) == 0 && system.f_type == MSDOS_SUPER_MAGIC;
}

}  // namespace TesselLibrary
