// SequentialFile on POSIX: read(2) on a descriptor from OpenRegularFile, with
// the kernel told that the file is read once from start to end (it reads
// further ahead and drops what was read sooner).
#include <fcntl.h>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>

#include "error_kinds.h"
#include "file_reader.h"
#include "owner_identity.h"
#include "path.h"
#include "read_loop.h"
#include "regular_file.h"
#include "retry.h"
#include "text.h"

namespace TesselLibrary {

SequentialFile::~SequentialFile() { Close(); }

void SequentialFile::Close() {
    int fd = static_cast<int>(native_);
    Posix::CloseDescriptor(fd);
    native_ = -1;
}

namespace {

// Four system calls for a small file (open, fstat, read, close): the
// non-blocking flag of the open stays, as reads of a regular file ignore it.
// What a file opened for reading, as whoever could have asked for it reads
// it (owner_reads.h): `path` relative to a folder of the tree (`inTree`), or
// named elsewhere.
int OpenReadable(int at, const std::string& path, bool inTree, const OwnerReads* owner, struct stat* status) {
    if (!owner) return Posix::OpenRegularFile(path, O_RDONLY | O_NONBLOCK, 0, status, at);
    if (!inTree) return Posix::OpenNamedPath(owner->data(), path, status);
    // A file of the folder is read as it is; a link leads anywhere, and only
    // a link pays for finding out where.
    const int fd = Posix::OpenRegularFile(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK, 0, status, at);
    if (fd >= 0 || errno != ELOOP) return fd;
    return Posix::OpenLinkOfTree(owner->data(), at, path, status);
}

// Where an open for reading puts what it found: the file's descriptor (the
// one there before closed first), its size, date and node, and whether the
// open failed for want of descriptors.
struct OpenedInto {
    std::intptr_t* native;
    std::uint64_t* size;
    FileTime* modified;
    std::uint64_t* node;
    bool* outOfDescriptors;
};

ReadOutcome OpenForReading(int at, const std::u16string& path, bool inTree, const OwnerReads* owner,
                           const OpenedInto& into) {
    int fd = static_cast<int>(*into.native);
    Posix::CloseDescriptor(fd);
    *into.native = -1;
    struct stat status {};
    fd = OpenReadable(at, ToSystemBytes(path), inTree, owner, &status);
    *into.outOfDescriptors = fd < 0 && Posix::IsOutOfDescriptors(errno);
    if (fd < 0) return Posix::IsNotFoundError(errno) ? ReadOutcome::NotFound : ReadOutcome::Unreadable;
    *into.native = fd;
    *into.size = static_cast<std::uint64_t>(status.st_size);
    *into.modified = FileTime{status.st_mtim.tv_sec, static_cast<std::uint32_t>(status.st_mtim.tv_nsec)};
    *into.node = static_cast<std::uint64_t>(status.st_ino);
    return ReadOutcome::Complete;
}

}  // namespace

ReadOutcome SequentialFile::Open(const std::u16string& path, const OwnerReads* owner) {
    return OpenForReading(AT_FDCWD, path, false, owner, {&native_, &size_, &modified_, &node_, &outOfDescriptors_});
}

ReadOutcome SequentialFile::Open(const Folder& folder, const std::u16string& name, const OwnerReads* owner) {
    // A name with a separator would reach past the folder.
    if (!IsOneName(name)) return ReadOutcome::Unreadable;
    return OpenForReading(static_cast<int>(folder.native()), name, true, owner,
                          {&native_, &size_, &modified_, &node_, &outOfDescriptors_});
}

bool SequentialFile::LookAgain(bool* changed) {
    struct stat status {};
    if (::fstat(static_cast<int>(native_), &status) != 0) return false;
    const std::uint64_t size = static_cast<std::uint64_t>(status.st_size);
    const FileTime modified{status.st_mtim.tv_sec, static_cast<std::uint32_t>(status.st_mtim.tv_nsec)};
    *changed = size != size_ || modified != modified_;
    size_ = size;
    modified_ = modified;
    return true;
}

bool SequentialFile::Rewind() { return ::lseek(static_cast<int>(native_), 0, SEEK_SET) == 0; }

void SequentialFile::AdviseSequential() {
    // Advice only: its failure changes nothing.
    ::posix_fadvise(static_cast<int>(native_), 0, 0, POSIX_FADV_SEQUENTIAL);
}

bool SequentialFile::Read(std::uint8_t* buffer, std::size_t length, std::size_t* got) {
    return Posix::ReadFully(static_cast<int>(native_), buffer, length, got);
}

bool SequentialFile::ReadAtHand(std::uint8_t* buffer, std::size_t length, std::size_t* got, bool* later) {
    *later = false;
    const int fd = static_cast<int>(native_);
    struct iovec piece = {buffer, length < Posix::kMaxTransfer ? length : Posix::kMaxTransfer};
    // RWF_NOWAIT: only what the page cache holds; when the device would have
    // to be waited for, EAGAIN, with the read-ahead already started.
    const ssize_t moved = Posix::RetryOnInterrupt([&] { return ::preadv2(fd, &piece, 1, -1, RWF_NOWAIT); });
    if (moved >= 0) {
        *got = static_cast<std::size_t>(moved);
        return true;
    }
    if (errno == EAGAIN) {
        *later = true;
        *got = 0;
        return true;
    }
    // A kernel or file system that cannot read without waiting.
    if (errno == EOPNOTSUPP || errno == EINVAL || errno == ENOSYS) return Read(buffer, length, got);
    return false;
}

void SequentialFile::Prefetch(std::uint64_t offset, std::uint64_t length) {
    // Advice only: its failure changes nothing.
    ::posix_fadvise(static_cast<int>(native_), static_cast<off_t>(offset), static_cast<off_t>(length),
                    POSIX_FADV_WILLNEED);
}

DiskPlace SequentialFile::Place() const {
    DiskPlace place;
    place.node = node_;
    place.empty = size_ == 0;
    // The map and room for one extent after it, as the call expects them.
    alignas(struct fiemap) std::uint8_t room[sizeof(struct fiemap) + sizeof(struct fiemap_extent)] = {};
    auto* map = reinterpret_cast<struct fiemap*>(room);
    map->fm_start = 0;
    map->fm_length = FIEMAP_MAX_OFFSET;
    map->fm_extent_count = 1;
    if (::ioctl(static_cast<int>(native_), FS_IOC_FIEMAP, map) != 0) return place;
    const struct fiemap_extent& extent = map->fm_extents[0];
    if (map->fm_mapped_extents == 0) {
        place.empty = true;  // nothing on the device: no bytes, or only holes
        return place;
    }
    const std::uint32_t flags = extent.fe_flags;
    if (flags & FIEMAP_EXTENT_DATA_INLINE) {
        place.empty = true;  // the bytes are in the node itself
        return place;
    }
    if (flags & (FIEMAP_EXTENT_UNKNOWN | FIEMAP_EXTENT_DELALLOC | FIEMAP_EXTENT_ENCODED)) return place;
    place.mapped = true;
    place.physical = extent.fe_physical;
    return place;
}

bool OnRotatingDisk(const Folder& folder) {
    struct stat status {};
    if (::fstat(static_cast<int>(folder.native()), &status) != 0 || major(status.st_dev) == 0) return false;
    // The device's entry in sysfs; a partition's queue is its disk's.
    const std::string entry =
        "/sys/dev/block/" + std::to_string(major(status.st_dev)) + ":" + std::to_string(minor(status.st_dev));
    char resolved[PATH_MAX];
    if (!::realpath(entry.c_str(), resolved)) return false;
    const std::string device = resolved;
    for (const std::string& queue : {device + "/queue/rotational", device + "/../queue/rotational"}) {
        const int fd = ::open(queue.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) continue;
        char flag = 0;
        const bool read = ::read(fd, &flag, 1) == 1;
        ::close(fd);
        if (read) return flag == '1';
    }
    return false;
}

std::uint64_t FileSizeOf(const std::u16string& path) {
    struct stat status {};
    if (::stat(ToSystemBytes(path).c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return 0;
    return static_cast<std::uint64_t>(status.st_size);
}

}  // namespace TesselLibrary
