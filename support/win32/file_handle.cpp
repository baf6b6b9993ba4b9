// FileHandle on Windows: CreateFileW with share modes that keep a file from
// changing while it is read (readers share reading only) and keep others out
// while it is written, regular files only. A file the
// program writes, or the old log it checks, is waited for while another
// program holds it for a moment; a file it only reads is reported at once.
#include <windows.h>

#include "error_kinds.h"
#include "file_times.h"
#include "file_handle.h"
#include "handle.h"
#include "long_path.h"
#include "open_in_use.h"
#include "path.h"

namespace TesselLibrary {

namespace {

HANDLE Native(std::intptr_t native) { return reinterpret_cast<HANDLE>(native); }

struct OpenRequest {
    DWORD access;
    DWORD share;
    DWORD disposition;
    DWORD flags;
};

OpenRequest RequestFor(FileHandle::Mode mode) {
    switch (mode) {
        case FileHandle::Mode::Read: return {GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL};
        case FileHandle::Mode::ReadNoLink:
            return {GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT};
        case FileHandle::Mode::ReadOldLog:
            // Read before it is deleted: a viewer or a logger that has it open
            // for writing does not keep it from being read.
            return {GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT};
        case FileHandle::Mode::CreateNew:
        case FileHandle::Mode::CreateReport:
            // Deleting is shared so that the interrupt handling can remove an
            // unfinished file while it is being written; nobody else may read
            // or write it meanwhile.
            return {GENERIC_WRITE, FILE_SHARE_DELETE, CREATE_NEW, FILE_ATTRIBUTE_NORMAL};
        case FileHandle::Mode::Append:
            return {GENERIC_WRITE, 0, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT};
        // A log viewer that follows the file keeps it open for reading, sharing
        // reading, writing and deleting: sharing reading here lets each line in
        // while it looks. One that shares nothing is still waited for a moment.
        case FileHandle::Mode::CreateLog: return {GENERIC_WRITE, FILE_SHARE_READ, CREATE_NEW, FILE_ATTRIBUTE_NORMAL};
        case FileHandle::Mode::AppendLog:
            return {GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT};
        // A viewer holding the old log for reading, sharing reading and writing
        // (and perhaps deleting), lets it be emptied under its eyes.
        case FileHandle::Mode::RewriteOldLog:
            return {GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT};
    }
    return {GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL};
}

// A file on disk, neither a device nor (where links are not followed) a
// reparse point. Folders never open here: they need backup semantics.
bool IsPlainFile(HANDLE file, FileHandle::Mode mode) {
    if (::GetFileType(file) != FILE_TYPE_DISK) return false;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(file, &info)) return false;
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
    const bool linksFollowed = mode == FileHandle::Mode::Read;
    return linksFollowed || !(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

}  // namespace

bool FileHandle::Open(const std::u16string& path, Mode mode) {
    Close();
    const OpenRequest request = RequestFor(mode);
    const std::wstring systemPath = Win32::SystemPath(path);
    Win32::Handle file(mode == Mode::Read
                           ? ::CreateFileW(systemPath.c_str(), request.access, request.share, nullptr,
                                           request.disposition, request.flags, nullptr)
                           : Win32::CreateFileWaitingWhileInUse(systemPath, request.access, request.share,
                                                                request.disposition, request.flags));
    if (!file) {
        notFound_ = Win32::IsMissing(::GetLastError());
        return false;
    }
    notFound_ = false;
    if (!IsPlainFile(file.get(), mode)) return false;
    if (mode == Mode::Append || mode == Mode::AppendLog) {
        LARGE_INTEGER zero{};
        if (!::SetFilePointerEx(file.get(), zero, nullptr, FILE_END)) return false;
    }
    native_ = reinterpret_cast<std::intptr_t>(file.release());
    return true;
}

bool FileHandle::Close() {
    if (!IsOpen()) return true;
    const bool closed = ::CloseHandle(Native(native_)) != 0;
    native_ = kNone;
    return closed;
}

bool FileHandle::Read(void* buffer, std::uint32_t length, std::uint32_t* got) {
    DWORD count = 0;
    if (!::ReadFile(Native(native_), buffer, length, &count, nullptr)) return false;
    *got = count;
    return true;
}

bool FileHandle::Write(const void* data, std::uint32_t length, std::uint32_t* written) {
    DWORD count = 0;
    if (!::WriteFile(Native(native_), data, length, &count, nullptr)) return false;
    *written = count;
    return true;
}

bool FileHandle::Size(std::uint64_t* size) const {
    LARGE_INTEGER bytes{};
    if (!::GetFileSizeEx(Native(native_), &bytes)) return false;
    *size = static_cast<std::uint64_t>(bytes.QuadPart);
    return true;
}

bool FileHandle::Truncate(std::uint64_t size) {
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(size);
    return ::SetFilePointerEx(Native(native_), at, nullptr, FILE_BEGIN) && ::SetEndOfFile(Native(native_));
}

bool FileHandle::Flush() { return ::FlushFileBuffers(Native(native_)) != 0; }

// FlushFileBuffers alone writes a file out; there is no call that only
// begins it.
void FileHandle::StartFlush() {}

bool FileHandle::Open(const Folder& folder, const std::u16string& name, Mode mode) {
    // A name with a separator would reach past the folder.
    if (!IsOneName(name)) {
        Close();
        notFound_ = false;
        return false;
    }
    return Open(JoinPath(folder.path(), name), mode);
}

bool FileHandle::SeekToStart() {
    LARGE_INTEGER zero{};
    return ::SetFilePointerEx(Native(native_), zero, nullptr, FILE_BEGIN) != 0;
}

bool FileHandle::Identity(FileIdentity* identity) const {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(Native(native_), &info)) return false;
    identity->device = info.dwVolumeSerialNumber;
    identity->node = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

bool FileHandle::Modified(FileTime* time) const {
    FILETIME written{};
    if (!::GetFileTime(Native(native_), nullptr, nullptr, &written)) return false;
    *time = Win32::TimeOf(written);
    return true;
}

bool FileHandle::TryLock() {
    OVERLAPPED whole{};
    return ::LockFileEx(Native(native_), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD,
                        &whole) != 0;
}

// A handle held open on the log for the whole run would keep out a viewer
// that shares nothing, which may now open it between two lines: no mark.
bool FileHandle::MarkInUse() { return true; }
bool FileHandle::InUseElsewhere() { return false; }

// A replaced file keeps the folder's inherited permissions.
bool FileHandle::TakeModeOf(const Folder&, const std::u16string&, bool) { return true; }

void FileHandle::TakeGroupOf(const Folder&) {}

bool FileHandle::PermissionsOf(Permissions*) const { return false; }

bool FileHandle::GivePermissions(const Permissions&) { return true; }

}  // namespace TesselLibrary
