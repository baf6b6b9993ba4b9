// OwnerReads on POSIX: the folder's owner, the groups that owner is in, and
// where the folder really is; opens with the owner's identity for the file
// system, switched on the calling thread alone (raw system calls: the C
// library's own wrappers of setgroups would switch every thread).
#include "owner_reads.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "owner_identity.h"
#include "regular_file.h"

namespace TesselLibrary {

struct OwnerReadsData {
    uid_t uid = 0;
    gid_t gid = 0;
    std::vector<gid_t> groups;
    std::string rootReal;  // where the folder really is; empty when that cannot be known
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

// The owner's identity for the file system on this thread while it lives.
class AsOwner {
public:
    explicit AsOwner(const OwnerReadsData& owner) {
        const int count = ::getgroups(0, nullptr);
        if (count < 0) return;
        savedGroups_.resize(static_cast<std::size_t>(count));
        if (::getgroups(count, savedGroups_.data()) != count) return;
        savedUid_ = FsUid(-1);
        savedGid_ = FsGid(-1);
        switched_ = true;
        if (SetGroups(owner.groups) != 0) return;
        FsGid(owner.gid);
        if (FsGid(-1) != static_cast<long>(owner.gid)) return;
        FsUid(owner.uid);
        ok_ = FsUid(-1) == static_cast<long>(owner.uid);
    }
    ~AsOwner() {
        if (!switched_) return;
        FsUid(savedUid_);
        FsGid(savedGid_);
        SetGroups(savedGroups_);
    }
    AsOwner(const AsOwner&) = delete;
    AsOwner& operator=(const AsOwner&) = delete;

    bool ok() const { return ok_; }

private:
    std::vector<gid_t> savedGroups_;
    long savedUid_ = 0;
    long savedGid_ = 0;
    bool switched_ = false;
    bool ok_ = false;
};

}  // namespace

std::shared_ptr<const OwnerReads> OwnerReads::For(const Folder& root) {
    if (::geteuid() != 0) return nullptr;
    struct stat status {};
    const int fd = static_cast<int>(root.native());
    if (::fstat(fd, &status) != 0 || status.st_uid == 0) return nullptr;
    auto data = std::make_unique<OwnerReadsData>();
    data->uid = status.st_uid;
    // The owner's own groups; an owner the system has no entry for reads as
    // the folder's group alone would.
    data->gid = status.st_gid;
    struct passwd entry {};
    struct passwd* found = nullptr;
    std::vector<char> text(16384);
    if (::getpwuid_r(status.st_uid, &entry, text.data(), text.size(), &found) == 0 && found) {
        data->gid = entry.pw_gid;
        int count = 64;
        std::vector<gid_t> groups(static_cast<std::size_t>(count));
        if (::getgrouplist(entry.pw_name, entry.pw_gid, groups.data(), &count) < 0 && count > 64) {
            groups.resize(static_cast<std::size_t>(count));
            ::getgrouplist(entry.pw_name, entry.pw_gid, groups.data(), &count);
        }
        groups.resize(static_cast<std::size_t>(count < 0 ? 0 : count));
        data->groups = std::move(groups);
    } else {
        data->groups = {data->gid};
    }
    data->rootReal = RealPathOf(fd);
    return std::shared_ptr<const OwnerReads>(new OwnerReads(std::move(data)));
}

namespace Posix {

int OpenAsOwner(const OwnerReadsData& owner, int at, const std::string& path, struct stat* found) {
    // Where the file lies, found by an open that reads nothing and opens no
    // device: inside the folder it is read as any file of the folder is.
    int probe;
    do {
        probe = ::openat(at, path.c_str(), O_PATH | O_CLOEXEC);
    } while (probe < 0 && errno == EINTR);
    if (probe >= 0) {
        const bool inside = Inside(RealPathOf(probe), owner.rootReal);
        int fd = -1;
        int error = 0;
        if (inside) {
            fd = OpenRegularFile("/proc/self/fd/" + std::to_string(probe), O_RDONLY, 0, found, true);
            error = errno;
        }
        ::close(probe);
        if (inside) {
            errno = error;
            return fd;
        }
    }
    const AsOwner asOwner(owner);
    if (!asOwner.ok()) {
        errno = EACCES;
        return -1;
    }
    return OpenRegularFile(path, O_RDONLY, 0, found, true, at);
}

}  // namespace Posix

}  // namespace TesselLibrary
