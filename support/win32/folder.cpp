// Folder on Windows: a handle on the folder opened without delete sharing,
// so that nobody can rename or remove it (nor, on NTFS, any folder above it)
// while it is held, and names joined to its path reach what it holds. A
// child that is a reparse point (a junction, a symbolic link) is not opened.
#include <windows.h>

#include <cstring>
#include <string_view>

#include "error_kinds.h"
#include "folder.h"
#include "handle.h"
#include "long_path.h"
#include "tessel_file.h"
#include "wide.h"
#include "path.h"
#include "remove_file.h"

namespace TesselLibrary {

namespace {

HANDLE Native(std::intptr_t native) { return reinterpret_cast<HANDLE>(native); }

// The folder at `path`; `noReparse`: a reparse point is refused.
HANDLE OpenFolderHandle(const std::u16string& path, bool noReparse, FolderProblem* problem, FileIdentity* identity) {
    const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (noReparse ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
    Win32::Handle folder(::CreateFileW(Win32::SystemPath(path.empty() ? u"." : path).c_str(),
                                       FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       nullptr, OPEN_EXISTING, flags, nullptr));
    if (!folder) {
        *problem = Win32::FolderProblemOf(::GetLastError());
        return nullptr;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(folder.get(), &info)) {
        *problem = FolderProblem::Unreadable;
        return nullptr;
    }
    const bool isFolder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const bool isReparse = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (!isFolder || (noReparse && isReparse)) {
        *problem = FolderProblem::NotAFolder;
        return nullptr;
    }
    identity->device = info.dwVolumeSerialNumber;
    identity->node = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    *problem = FolderProblem::None;
    return folder.release();
}

}  // namespace

Folder::~Folder() { ::CloseHandle(Native(native_)); }

std::shared_ptr<Folder> Folder::Open(const std::u16string& path, FolderProblem* problem) {
    FolderProblem why = FolderProblem::None;
    FileIdentity identity;
    const HANDLE handle = OpenFolderHandle(path, false, &why, &identity);
    if (problem) *problem = why;
    if (handle == nullptr) return nullptr;
    std::u16string shown = path;
    AppendSeparator(shown);
    return std::shared_ptr<Folder>(new Folder(reinterpret_cast<std::intptr_t>(handle), std::move(shown), identity));
}

std::shared_ptr<Folder> Folder::OpenChild(const std::u16string& name, FolderProblem* problem) const {
    FolderProblem why = FolderProblem::NotAFolder;
    FileIdentity identity;
    const HANDLE handle = IsEntryName(name) ? OpenFolderHandle(JoinPath(path_, name), true, &why, &identity) : nullptr;
    if (problem) *problem = why;
    if (handle == nullptr) return nullptr;
    return std::shared_ptr<Folder>(
        new Folder(reinterpret_cast<std::intptr_t>(handle), SubfolderPath(path_, name), identity));
}

std::u16string FolderListing::name(std::size_t index) const {
    const Entry& entry = entries_[index];
    std::u16string name(entry.length / sizeof(char16_t), u'\0');
    std::memcpy(name.data(), Stored(entry), entry.length);
    return name;
}

bool Folder::List(FolderListing& listing, bool) const {
    WIN32_FIND_DATAW found{};
    const HANDLE find = ::FindFirstFileW(Win32::SystemPath(JoinPath(path_, u"*.*")).c_str(), &found);
    // "Nothing matches" is an empty listing (a drive's root lists no "."
    // and ".."); anything else means the folder could not be read.
    if (find == INVALID_HANDLE_VALUE) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
    bool complete = true;
    for (;;) {
        const std::wstring_view name(found.cFileName);
        if (name != L"." && name != L"..") {
            std::uint8_t kind = 0;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) kind |= FolderListing::kDirectory;
            // Junctions and symbolic links: following one could walk in a loop.
            if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) kind |= FolderListing::kLink;
            listing.Add(name.data(), name.size() * sizeof(wchar_t), 0);
            listing.entries_.back().kind |= kind;
            // The listing has the size anyway.
            listing.sizes_.push_back((static_cast<std::uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow);
        }
        if (!::FindNextFileW(find, &found)) {
            complete = ::GetLastError() == ERROR_NO_MORE_FILES;
            break;
        }
    }
    ::FindClose(find);
    return complete;
}

bool Folder::IdentityOf(const std::u16string& name, FileIdentity* identity) const {
    if (!IsEntryName(name)) return false;
    const Win32::Handle entry(::CreateFileW(Win32::SystemPath(JoinPath(path_, name)).c_str(), FILE_READ_ATTRIBUTES,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                            nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!entry || !::GetFileInformationByHandle(entry.get(), &info)) return false;
    identity->device = info.dwVolumeSerialNumber;
    identity->node = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

bool Folder::Remove(const std::u16string& name) const {
    return IsEntryName(name) && RemoveFile(JoinPath(path_, name).c_str());
}

bool Folder::RemoveUnheld(const std::u16string& name) const {
    return IsEntryName(name) && RemoveUnheldFile(JoinPath(path_, name).c_str());
}

bool Folder::Rename(const std::u16string& from, const std::u16string& to) const {
    if (!IsEntryName(from) || !IsEntryName(to)) return false;
    return ::MoveFileExW(Win32::SystemPath(JoinPath(path_, from)).c_str(),
                         Win32::SystemPath(JoinPath(path_, to)).c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

// Without MOVEFILE_REPLACE_EXISTING the move fails when the name is taken.
bool Folder::RenameNoReplace(const std::u16string& from, const std::u16string& to) const {
    if (!IsEntryName(from) || !IsEntryName(to)) return false;
    return ::MoveFileExW(Win32::SystemPath(JoinPath(path_, from)).c_str(),
                         Win32::SystemPath(JoinPath(path_, to)).c_str(), MOVEFILE_WRITE_THROUGH) != 0;
}

// MoveFileExW with MOVEFILE_WRITE_THROUGH returns once the rename is on disk.
bool Folder::Sync() const { return true; }

// No advisory lock on folders here; the files' share modes keep two writers apart.
bool Folder::TryLock() const { return true; }

// exFAT keeps hundredths of a second; FAT and FAT32 two seconds.
bool Folder::KeepsTwoSecondDates() const {
    wchar_t system[MAX_PATH + 1] = {};
    if (!::GetVolumeInformationByHandleW(Native(native_), nullptr, 0, nullptr, nullptr, nullptr, system, MAX_PATH + 1))
        return false;
    return std::wstring_view(system) == L"FAT" || std::wstring_view(system) == L"FAT32";
}

}  // namespace TesselLibrary
