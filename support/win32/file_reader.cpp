// SequentialFile on Windows: ReadFile on a handle opened for sequential
// reading, shared with other readers only. An I/O error underneath (a bad
// sector, a share that went away) is a failed call, never a crash.
#include <windows.h>

#include "error_kinds.h"
#include "file_reader.h"
#include "file_times.h"
#include "long_path.h"
#include "path.h"

namespace TesselLibrary {

namespace {

// ReadFile moves a DWORD's worth at most; pieces of this size keep it far off.
constexpr std::size_t kMaxTransfer = std::size_t{1} << 30;

HANDLE Native(std::intptr_t native) { return reinterpret_cast<HANDLE>(native); }

}  // namespace

SequentialFile::~SequentialFile() { Close(); }

void SequentialFile::Close() {
    if (native_ != -1) ::CloseHandle(Native(native_));
    native_ = -1;
}

// No owner's identity to read with on Windows (owner_reads.h).
ReadOutcome SequentialFile::Open(const Folder& folder, const std::u16string& name, const OwnerReads*) {
    // A name with a separator would reach past the folder.
    if (!IsOneName(name)) return ReadOutcome::Unreadable;
    return Open(JoinPath(folder.path(), name));
}

ReadOutcome SequentialFile::Open(const std::u16string& path, const OwnerReads*) {
    Close();
    outOfDescriptors_ = false;
    const HANDLE file = ::CreateFileW(Win32::SystemPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        outOfDescriptors_ = Win32::IsOutOfHandles(error);
        return Win32::IsNotFoundError(error) ? ReadOutcome::NotFound : ReadOutcome::Unreadable;
    }
    native_ = reinterpret_cast<std::intptr_t>(file);
    // Folders never open here; devices and pipes are no files to hash. The
    // size and the time are asked for alone: what GetFileInformationByHandle
    // adds (the volume's serial number) costs a question to the volume for
    // every file, under Wine several times the rest of the file's work.
    LARGE_INTEGER size{};
    FILETIME written{};
    if (::GetFileType(file) != FILE_TYPE_DISK || !::GetFileSizeEx(file, &size) ||
        !::GetFileTime(file, nullptr, nullptr, &written))
        return ReadOutcome::Unreadable;
    size_ = static_cast<std::uint64_t>(size.QuadPart);
    modified_ = Win32::TimeOf(written);
    return ReadOutcome::Complete;
}

bool SequentialFile::LookAgain(bool* changed) {
    LARGE_INTEGER size{};
    FILETIME written{};
    if (!::GetFileSizeEx(Native(native_), &size) || !::GetFileTime(Native(native_), nullptr, nullptr, &written))
        return false;
    const FileTime modified = Win32::TimeOf(written);
    *changed = static_cast<std::uint64_t>(size.QuadPart) != size_ || modified != modified_;
    size_ = static_cast<std::uint64_t>(size.QuadPart);
    modified_ = modified;
    return true;
}

bool SequentialFile::Rewind() {
    LARGE_INTEGER start{};
    return ::SetFilePointerEx(Native(native_), start, nullptr, FILE_BEGIN) != 0;
}

// FILE_FLAG_SEQUENTIAL_SCAN at the open says it already.
void SequentialFile::AdviseSequential() {}

bool SequentialFile::Read(std::uint8_t* buffer, std::size_t length, std::size_t* got) {
    std::size_t total = 0;
    while (total < length) {
        const std::size_t asked = length - total < kMaxTransfer ? length - total : kMaxTransfer;
        DWORD moved = 0;
        if (!::ReadFile(Native(native_), buffer + total, static_cast<DWORD>(asked), &moved, nullptr)) return false;
        if (moved == 0) break;  // the end of the file
        total += moved;
    }
    *got = total;
    return true;
}

// Windows says nothing of what its cache holds: every read may wait.
bool SequentialFile::ReadAtHand(std::uint8_t* buffer, std::size_t length, std::size_t* got, bool* later) {
    *later = false;
    return Read(buffer, length, got);
}

// FILE_FLAG_SEQUENTIAL_SCAN makes the cache manager read ahead by itself.
void SequentialFile::Prefetch(std::uint64_t, std::uint64_t) {}

// Not asked of the system here: files are read in the order given.
DiskPlace SequentialFile::Place() const {
    DiskPlace place;
    place.empty = size_ == 0;
    return place;
}

bool OnRotatingDisk(const Folder&) { return false; }

std::uint64_t FileSizeOf(const std::u16string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(Win32::SystemPath(path).c_str(), GetFileExInfoStandard, &data)) return 0;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return 0;
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace TesselLibrary
