// SequentialFile on POSIX: read(2) on a descriptor from OpenRegularFile, with
// the kernel told that the file is read once from start to end (it reads
// further ahead and drops what was read sooner).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "file_reader.h"
#include "read_loop.h"
#include "regular_file.h"
#include "text.h"

namespace TesselLibrary {

SequentialFile::~SequentialFile() { Close(); }

void SequentialFile::Close() {
    int fd = static_cast<int>(native_);
    Posix::CloseDescriptor(fd);
    native_ = -1;
}

namespace {

bool IsOutOfDescriptors(int error) { return error == EMFILE || error == ENFILE || error == ENOMEM; }

// Four system calls for a small file (open, fstat, read, close): the
// non-blocking flag of the open stays, as reads of a regular file ignore it.
ReadOutcome OpenForReading(int at, const std::u16string& path, std::intptr_t* native, std::uint64_t* size,
                           FileTime* modified, bool* outOfDescriptors) {
    int fd = static_cast<int>(*native);
    Posix::CloseDescriptor(fd);
    *native = -1;
    struct stat status {};
    fd = Posix::OpenRegularFile(ToSystemBytes(path), O_RDONLY, 0, &status, true, at);
    *outOfDescriptors = fd < 0 && IsOutOfDescriptors(errno);
    if (fd < 0) return Posix::IsNotFoundError(errno) ? ReadOutcome::NotFound : ReadOutcome::Unreadable;
    *native = fd;
    *size = static_cast<std::uint64_t>(status.st_size);
    *modified = FileTime{status.st_mtim.tv_sec, static_cast<std::uint32_t>(status.st_mtim.tv_nsec)};
    return ReadOutcome::Complete;
}

}  // namespace

ReadOutcome SequentialFile::Open(const std::u16string& path) {
    return OpenForReading(AT_FDCWD, path, &native_, &size_, &modified_, &outOfDescriptors_);
}

ReadOutcome SequentialFile::Open(const Folder& folder, const std::u16string& name) {
    // A name with a separator would reach past the folder.
    if (name.empty() || name.find(u'/') != std::u16string::npos) return ReadOutcome::Unreadable;
    return OpenForReading(static_cast<int>(folder.native()), name, &native_, &size_, &modified_, &outOfDescriptors_);
}

void SequentialFile::AdviseSequential() {
    // Advice only: its failure changes nothing.
    ::posix_fadvise(static_cast<int>(native_), 0, 0, POSIX_FADV_SEQUENTIAL);
}

bool SequentialFile::Read(std::uint8_t* buffer, std::size_t length, std::size_t* got) {
    return Posix::ReadFully(static_cast<int>(native_), buffer, length, got);
}

std::uint64_t FileSizeOf(const std::u16string& path) {
    struct stat status {};
    if (::stat(ToSystemBytes(path).c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return 0;
    return static_cast<std::uint64_t>(status.st_size);
}

}  // namespace TesselLibrary
