// FileHandle on POSIX: open(2) through OpenRegularFile, so only regular
// files open and no open ever blocks. Windows share modes have no POSIX
// counterpart and are not emulated.
#include "file_handle.h"

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "error_kinds.h"
#include "file_descriptor.h"
#include "path.h"
#include "read_loop.h"
#include "regular_file.h"
#include "retry.h"
#include "text.h"

namespace TesselLibrary {

namespace {

// New files: readable by all, written by the owner, less the umask. A
// report (a log, figures) may name the files of a folder only its owner
// reads, so it is made for its owner and group alone.
constexpr mode_t kNewFileMode = 0644;
constexpr mode_t kNewReportMode = 0640;

int Flags(FileHandle::Mode mode) {
    switch (mode) {
        case FileHandle::Mode::Read: return O_RDONLY;
        case FileHandle::Mode::ReadNoLink:
        case FileHandle::Mode::ReadOldLog: return O_RDONLY | O_NOFOLLOW;
        case FileHandle::Mode::CreateNew:
        case FileHandle::Mode::CreateReport:
        case FileHandle::Mode::CreateLog: return O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW;
        case FileHandle::Mode::Append:
        case FileHandle::Mode::AppendLog: return O_WRONLY | O_CREAT | O_NOFOLLOW;
        case FileHandle::Mode::RewriteOldLog: return O_WRONLY | O_NOFOLLOW;
    }
    return O_RDONLY;
}

}  // namespace

// Opens `path` relative to the folder descriptor `at` into `file`.
struct FileHandleAccess {
    static bool Open(FileHandle& file, int at, const std::u16string& path, FileHandle::Mode mode) {
        file.Close();
        file.notFound_ = false;
        const bool report = mode == FileHandle::Mode::CreateReport || mode == FileHandle::Mode::CreateLog ||
                            mode == FileHandle::Mode::AppendLog;
        const int fd = Posix::OpenRegularFile(ToSystemBytes(path), Flags(mode), report ? kNewReportMode : kNewFileMode,
                                              nullptr, at);
        if (fd < 0) {
            file.notFound_ = Posix::IsNotFoundError(errno);
            return false;
        }
        if ((mode == FileHandle::Mode::Append || mode == FileHandle::Mode::AppendLog) &&
            ::lseek(fd, 0, SEEK_END) == static_cast<off_t>(-1)) {
            ::close(fd);
            return false;
        }
        file.native_ = fd;
        return true;
    }
};

bool FileHandle::Open(const std::u16string& path, Mode mode) {
    return FileHandleAccess::Open(*this, AT_FDCWD, path, mode);
}

bool FileHandle::Open(const Folder& folder, const std::u16string& name, Mode mode) {
    // A name with a separator would reach past the folder.
    if (!IsOneName(name)) {
        Close();
        notFound_ = false;
        return false;
    }
    return FileHandleAccess::Open(*this, static_cast<int>(folder.native()), name, mode);
}

bool FileHandle::Close() {
    if (!IsOpen()) return true;
    // Not retried on EINTR: on Linux the descriptor is gone either way.
    const bool closed = ::close(static_cast<int>(native_)) == 0;
    native_ = kNone;
    return closed;
}

bool FileHandle::Read(void* buffer, std::uint32_t length, std::uint32_t* got) {
    std::size_t total = 0;
    const bool read = Posix::ReadFully(static_cast<int>(native_), buffer, length, &total);
    *got = static_cast<std::uint32_t>(total);
    return read;
}

bool FileHandle::Write(const void* data, std::uint32_t length, std::uint32_t* written) {
    // A write that moves fewer bytes than asked stops here: the rest could
    // not be written (a full disk), and the caller is told so.
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::uint32_t total = 0;
    while (total < length) {
        const auto asked = static_cast<std::uint32_t>(std::min<std::size_t>(length - total, Posix::kMaxTransfer));
        const ssize_t moved =
            Posix::RetryOnInterrupt([&] { return ::write(static_cast<int>(native_), bytes + total, asked); });
        if (moved < 0) return false;
        total += static_cast<std::uint32_t>(moved);
        if (static_cast<std::uint32_t>(moved) < asked) break;
    }
    *written = total;
    return true;
}

bool FileHandle::Size(std::uint64_t* size) const {
    struct stat st;
    if (::fstat(static_cast<int>(native_), &st) != 0) return false;
    *size = static_cast<std::uint64_t>(st.st_size);
    return true;
}

bool FileHandle::Truncate(std::uint64_t size) {
    const int fd = static_cast<int>(native_);
    const int result = Posix::RetryOnInterrupt([&] { return ::ftruncate(fd, static_cast<off_t>(size)); });
    return result == 0 && ::lseek(fd, static_cast<off_t>(size), SEEK_SET) == static_cast<off_t>(size);
}

bool FileHandle::Flush() {
    return Posix::RetryOnInterrupt([&] { return ::fsync(static_cast<int>(native_)); }) == 0;
}

void FileHandle::StartFlush() {
#ifdef __linux__
    ::sync_file_range(static_cast<int>(native_), 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
}

bool FileHandle::SeekToStart() { return ::lseek(static_cast<int>(native_), 0, SEEK_SET) == 0; }

bool FileHandle::Identity(FileIdentity* identity) const {
    struct stat st;
    if (::fstat(static_cast<int>(native_), &st) != 0) return false;
    identity->device = static_cast<std::uint64_t>(st.st_dev);
    identity->node = static_cast<std::uint64_t>(st.st_ino);
    return true;
}

bool FileHandle::Modified(FileTime* time) const {
    struct stat st;
    if (::fstat(static_cast<int>(native_), &st) != 0) return false;
    *time = FileTime{st.st_mtim.tv_sec, static_cast<std::uint32_t>(st.st_mtim.tv_nsec)};
    return true;
}

bool FileHandle::TryLock() {
    const int result = Posix::RetryOnInterrupt([&] { return ::flock(static_cast<int>(native_), LOCK_EX | LOCK_NB); });
    // A file system without locks cannot tell a live file from a leftover;
    // it counts as held, so that nothing another run writes is removed.
    return result == 0;
}

// Shared marks, so that every run writing one log holds one at once; an old
// log is in use while any is held.
bool FileHandle::MarkInUse() {
    const int result = Posix::RetryOnInterrupt([&] { return ::flock(static_cast<int>(native_), LOCK_SH | LOCK_NB); });
    // Only a run deleting the old log holds the other kind; a file system
    // without locks marks nothing and refuses nothing.
    return result == 0 || errno != EWOULDBLOCK;
}

bool FileHandle::InUseElsewhere() {
    const int result = Posix::RetryOnInterrupt([&] { return ::flock(static_cast<int>(native_), LOCK_EX | LOCK_NB); });
    // A file system without locks marks nothing: the old log is removed as
    // it always was.
    return result != 0 && errno == EWOULDBLOCK;
}

bool FileHandle::TakeModeOf(const Folder& folder, const std::u16string& name, bool report) {
    struct stat old;
    const std::string bytes = ToSystemBytes(name);
    if (::fstatat(static_cast<int>(folder.native()), bytes.c_str(), &old, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(old.st_mode)) {
        // Nothing to take after: the new file keeps its own.
        if (report) TakeGroupOf(folder);
        return true;
    }
    return GivePermissions({static_cast<std::uint32_t>(old.st_mode), static_cast<std::uint32_t>(old.st_uid),
                            static_cast<std::uint32_t>(old.st_gid)});
}

void FileHandle::TakeGroupOf(const Folder& folder) {
    struct stat in, own;
    const int fd = static_cast<int>(native_);
    if (::fstat(static_cast<int>(folder.native()), &in) != 0 || ::fstat(fd, &own) != 0 || own.st_gid == in.st_gid)
        return;
    // Refused to a user outside that group: the file stays in the user's own.
    ::fchown(fd, static_cast<uid_t>(-1), in.st_gid);
}

bool FileHandle::PermissionsOf(Permissions* permissions) const {
    struct stat st;
    if (::fstat(static_cast<int>(native_), &st) != 0) return false;
    *permissions = {static_cast<std::uint32_t>(st.st_mode), static_cast<std::uint32_t>(st.st_uid),
                    static_cast<std::uint32_t>(st.st_gid)};
    return true;
}

bool FileHandle::GivePermissions(const Permissions& permissions) {
    const int fd = static_cast<int>(native_);
    const auto owner = static_cast<uid_t>(permissions.owner);
    const auto group = static_cast<gid_t>(permissions.group);
    // Only root may give a file away; the owner first, since a change of
    // owner may clear permission bits.
    if (::geteuid() == 0 && (owner != ::geteuid() || group != ::getegid()) && ::fchown(fd, owner, group) != 0)
        return false;
    return ::fchmod(fd, static_cast<mode_t>(permissions.mode) & 0777) == 0;
}

}  // namespace TesselLibrary
