// OwnerReads on POSIX: where the folder really is, and whom a file outside
// it is opened as: the user or the stand-in for anyone who could have put the
// link or the line there (owner_reads.h), with the groups they are in; opens
// with that identity for the file system, switched on the calling thread
// alone (raw system calls: the C library's own wrappers of setgroups would
// switch every thread).
#include "owner_reads.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "owner_identity.h"
#include "regular_file.h"
#include "retry.h"
#include "tessel_file.h"

namespace TesselLibrary {

// An identity for the file system: the user, their own group and every
// group they are in.
struct ReadIdentity {
    uid_t uid = 0;
    gid_t gid = 0;
    std::vector<gid_t> groups;
};
// Null: root itself, which reads as the program does.
using Reader = std::shared_ptr<const ReadIdentity>;

struct OwnerReadsData {
    std::string rootReal;  // where the folder really is; empty when that cannot be known
    // Who reads through a link in a folder only root may write: the folder
    // the run works on decides, by its owner.
    Reader ofTree;
    // Who reads a path named elsewhere: whoever could have written the
    // summary that names it.
    Reader ofSummary;
};

OwnerReads::OwnerReads(std::unique_ptr<OwnerReadsData> data) : data_(std::move(data)) {}
OwnerReads::~OwnerReads() = default;

namespace {

// Where an open descriptor really leads, or nothing where /proc cannot say.
std::string RealPathOf(int fd) {
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    std::string path(4096, '\0');
    const ssize_t length = ::readlink(link.c_str(), path.data(), path.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= path.size()) return {};
    path.resize(static_cast<std::size_t>(length));
    return path;
}

bool Inside(const std::string& path, const std::string& root) {
    if (root.empty() || path.size() <= root.size() || path.compare(0, root.size(), root) != 0) return false;
    return root.back() == '/' || path[root.size()] == '/';
}

// The user as the system's user database has them, or null when it has no
// entry for them.
Reader LookUpUser(uid_t uid) {
    struct passwd entry {};
    struct passwd* found = nullptr;
    std::vector<char> text(16384);
    if (::getpwuid_r(uid, &entry, text.data(), text.size(), &found) != 0 || !found) return nullptr;
    auto user = std::make_shared<ReadIdentity>();
    user->uid = uid;
    user->gid = entry.pw_gid;
    int count = 64;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    if (::getgrouplist(entry.pw_name, entry.pw_gid, groups.data(), &count) < 0 && count > 64) {
        groups.resize(static_cast<std::size_t>(count));
        ::getgrouplist(entry.pw_name, entry.pw_gid, groups.data(), &count);
    }
    groups.resize(static_cast<std::size_t>(count < 0 ? 0 : count));
    user->groups = std::move(groups);
    return user;
}

// The user `uid`, looked up once for the run: a tree holds many links and
// few owners, and the hashing threads ask at once. A user the system has no
// entry for reads as the group `group` (of the file or folder they own)
// alone would.
Reader User(uid_t uid, gid_t group) {
    static std::mutex lock;
    static std::map<uid_t, Reader> known;  // null: no entry
    Reader user;
    {
        const std::lock_guard<std::mutex> held(lock);
        const auto at = known.find(uid);
        user = at != known.end() ? at->second : (known[uid] = LookUpUser(uid));
    }
    if (user) return user;
    auto unknown = std::make_shared<ReadIdentity>();
    unknown->uid = uid;
    unknown->gid = group;
    unknown->groups = {group};
    return unknown;
}

// Anyone at all, or anyone of the group `group`: a user of no account of
// their own (the id every system leaves to nobody), in that group alone.
constexpr uid_t kNobody = 65534;
Reader Anyone(const gid_t* group) {
    auto anyone = std::make_shared<ReadIdentity>();
    anyone->uid = kNobody;
    anyone->gid = kNobody;
    if (group) anyone->groups = {*group};
    return anyone;
}

// Whoever may write a file or folder with this status (to a folder: put a
// name in it): its owner; where that is root, the users who may write it
// too; where root alone may, `rootAlone`.
Reader WhoMayWrite(const struct stat& status, const Reader& rootAlone) {
    if (status.st_uid != 0) return User(status.st_uid, status.st_gid);
    if (status.st_mode & S_IWGRP) return Anyone(&status.st_gid);
    if (status.st_mode & S_IWOTH) return Anyone(nullptr);
    return rootAlone;
}

// The calls that take 32-bit ids, where the system has both kinds.
#ifdef SYS_setfsuid32
constexpr long kSetFsUid = SYS_setfsuid32;
constexpr long kSetFsGid = SYS_setfsgid32;
constexpr long kSetGroups = SYS_setgroups32;
#else
constexpr long kSetFsUid = SYS_setfsuid;
constexpr long kSetFsGid = SYS_setfsgid;
constexpr long kSetGroups = SYS_setgroups;
#endif

// Each returns the id it replaced; -1 changes nothing.
long FsUid(long uid) { return ::syscall(kSetFsUid, uid); }
long FsGid(long gid) { return ::syscall(kSetFsGid, gid); }
long SetGroups(const std::vector<gid_t>& groups) { return ::syscall(kSetGroups, groups.size(), groups.data()); }

// The identity for the file system on this thread while it lives.
class AsReader {
public:
    explicit AsReader(const ReadIdentity& reader) {
        const int count = ::getgroups(0, nullptr);
        if (count < 0) return;
        savedGroups_.resize(static_cast<std::size_t>(count));
        if (::getgroups(count, savedGroups_.data()) != count) return;
        savedUid_ = FsUid(-1);
        savedGid_ = FsGid(-1);
        switched_ = true;
        if (SetGroups(reader.groups) != 0) return;
        FsGid(reader.gid);
        if (FsGid(-1) != static_cast<long>(reader.gid)) return;
        FsUid(reader.uid);
        ok_ = FsUid(-1) == static_cast<long>(reader.uid);
    }
    ~AsReader() {
        if (!switched_) return;
        FsUid(savedUid_);
        FsGid(savedGid_);
        SetGroups(savedGroups_);
    }
    AsReader(const AsReader&) = delete;
    AsReader& operator=(const AsReader&) = delete;

    bool ok() const { return ok_; }

private:
    std::vector<gid_t> savedGroups_;
    long savedUid_ = 0;
    long savedGid_ = 0;
    bool switched_ = false;
    bool ok_ = false;
};

// The folder's part of the rule; null when nothing is to be done.
std::unique_ptr<OwnerReadsData> DataFor(const Folder& root) {
    if (::geteuid() != 0) return nullptr;
    const int fd = static_cast<int>(root.native());
    auto data = std::make_unique<OwnerReadsData>();
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        // A folder that cannot be looked at says nothing of its owner: what
        // lies outside it is read as anyone could read it.
        data->ofTree = data->ofSummary = Anyone(nullptr);
        return data;
    }
    if (status.st_uid != 0) data->ofTree = User(status.st_uid, status.st_gid);
    // A summary only root may write counts as a line put into the folder:
    // whoever may write the folder may have moved it there (a rewrite this
    // program made from their lines, say).
    data->ofSummary = WhoMayWrite(status, data->ofTree);
    data->rootReal = RealPathOf(fd);
    return data;
}

// `path` relative to `at` opened as `reader` could (null: as the program).
int OpenAs(const Reader& reader, int at, const std::string& path, struct stat* found) {
    if (!reader) return Posix::OpenRegularFile(path, O_RDONLY | O_NONBLOCK, 0, found, at);
    const AsReader as(*reader);
    if (!as.ok()) {
        errno = EACCES;
        return -1;
    }
    return Posix::OpenRegularFile(path, O_RDONLY | O_NONBLOCK, 0, found, at);
}

// The file `path` (relative to `at`) leads to, when it lies inside the
// folder: opened as any file of the folder is, into `fd` (-1 and errno when
// that open failed). False, with nothing opened, when it lies elsewhere.
// Where it lies is found by an open that reads nothing and opens no device.
bool OpenedInside(const OwnerReadsData& reads, int at, const std::string& path, struct stat* found, int* fd) {
    const int probe = Posix::RetryOnInterrupt([&] { return ::openat(at, path.c_str(), O_PATH | O_CLOEXEC); });
    if (probe < 0) return false;
    const bool inside = Inside(RealPathOf(probe), reads.rootReal);
    int error = 0;
    if (inside) {
        *fd = Posix::OpenRegularFile("/proc/self/fd/" + std::to_string(probe), O_RDONLY | O_NONBLOCK, 0, found);
        error = errno;
    }
    ::close(probe);
    errno = error;
    return inside;
}

}  // namespace

std::shared_ptr<const OwnerReads> OwnerReads::For(const Folder& root) {
    std::unique_ptr<OwnerReadsData> data = DataFor(root);
    if (!data) return nullptr;
    return std::shared_ptr<const OwnerReads>(new OwnerReads(std::move(data)));
}

std::shared_ptr<const OwnerReads> OwnerReads::For(const Folder& root, const TesselFile& summary) {
    std::unique_ptr<OwnerReadsData> data = DataFor(root);
    if (!data) return nullptr;
    struct stat file {};
    const int fd = static_cast<int>(summary.readingNative());
    data->ofSummary = fd >= 0 && ::fstat(fd, &file) == 0 ? WhoMayWrite(file, data->ofSummary) : Anyone(nullptr);
    return std::shared_ptr<const OwnerReads>(new OwnerReads(std::move(data)));
}

namespace Posix {

int OpenLinkOfTree(const OwnerReadsData& reads, int at, const std::string& name, struct stat* found) {
    int fd = -1;
    if (OpenedInside(reads, at, name, found, &fd)) return fd;
    struct stat folder {};
    if (::fstat(at, &folder) != 0) {
        errno = EACCES;
        return -1;
    }
    return OpenAs(WhoMayWrite(folder, reads.ofTree), at, name, found);
}

int OpenNamedPath(const OwnerReadsData& reads, const std::string& path, struct stat* found) {
    int fd = -1;
    if (OpenedInside(reads, AT_FDCWD, path, found, &fd)) return fd;
    return OpenAs(reads.ofSummary, AT_FDCWD, path, found);
}

}  // namespace Posix

}  // namespace TesselLibrary
