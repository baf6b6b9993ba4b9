// FileFacts: GetFileInformationByHandle of a file held open, and the
// attributes and dates set through a handle, never through a name that
// could meanwhile lead to another file.
#include "file_facts.h"

#include "file_times.h"
#include "handle.h"
#include "long_path.h"

namespace TesselLibrary::Win32 {

namespace {

LARGE_INTEGER Ticks(const FILETIME& time) {
    LARGE_INTEGER ticks{};
    ticks.LowPart = time.dwLowDateTime;
    ticks.HighPart = static_cast<LONG>(time.dwHighDateTime);
    return ticks;
}

}  // namespace

bool FactsOf(HANDLE file, FileFacts* facts) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(file, &info)) return false;
    facts->identity.device = info.dwVolumeSerialNumber;
    facts->identity.node = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    facts->size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    facts->modified = TimeOf(info.ftLastWriteTime);
    facts->created = info.ftCreationTime;
    facts->attributes = info.dwFileAttributes;
    return true;
}

HANDLE OpenItself(const std::u16string& path, DWORD access) {
    return ::CreateFileW(SystemPath(path).c_str(), FILE_READ_ATTRIBUTES | access,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

bool SetBasics(HANDLE file, DWORD attributes, const FILETIME* created, const FILETIME* modified) {
    FILE_BASIC_INFO change{};  // a time of zero stays as it is
    change.FileAttributes = (attributes & kCarriedAttributes) | FILE_ATTRIBUTE_ARCHIVE;
    if (created) change.CreationTime = Ticks(*created);
    if (modified) change.LastWriteTime = Ticks(*modified);
    return ::SetFileInformationByHandle(file, FileBasicInfo, &change, sizeof change) != 0;
}

bool SetAttributesOf(const std::u16string& path, const FileIdentity& identity, DWORD attributes) {
    const Handle file(OpenItself(path, FILE_WRITE_ATTRIBUTES));
    FileFacts facts;
    if (!file || !FactsOf(file.get(), &facts) || facts.identity != identity) return false;
    FILE_BASIC_INFO change{};
    const DWORD kept = attributes & (kCarriedAttributes | FILE_ATTRIBUTE_ARCHIVE);
    change.FileAttributes = kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL;  // zero would change nothing
    return ::SetFileInformationByHandle(file.get(), FileBasicInfo, &change, sizeof change) != 0;
}

}  // namespace TesselLibrary::Win32
