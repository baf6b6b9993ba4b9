// RemoveFile on Windows: one handle on the path itself (a link is opened,
// not followed) is checked, has its read-only attribute cleared and is
// deleted, so no other file can be swapped in between the steps. A file
// another program holds for a moment is waited for.
#include <windows.h>

#include "handle.h"
#include "long_path.h"
#include "open_in_use.h"
#include "tessel_file.h"
#include "remove_file.h"

namespace TesselLibrary {

namespace {

// The attributes SetFileInformationByHandle may set; others (a reparse
// point, compression) belong to the file system.
constexpr DWORD kSettableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                      FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE |
                                      FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

bool SetAttributes(HANDLE file, DWORD attributes) {
    FILE_BASIC_INFO change{};  // times of zero stay as they are
    // Zero would mean "unchanged" too.
    change.FileAttributes = attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL;
    return ::SetFileInformationByHandle(file, FileBasicInfo, &change, sizeof change) != 0;
}

// `share`: what others who have the file open may do meanwhile. Sharing
// nothing, the open fails while anyone holds it, and the file is gone as
// this handle closes.
bool RemoveSharing(const char16_t* path, DWORD share) {
    const Win32::Handle file(Win32::CreateFileWaitingWhileInUse(Win32::SystemPath(path ? path : u""),
                                                                DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                                                share, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT));
    if (!file) return false;  // folders do not open without backup semantics
    FILE_BASIC_INFO basic{};
    if (!::GetFileInformationByHandleEx(file.get(), FileBasicInfo, &basic, sizeof basic) ||
        (basic.FileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    // A read-only file refuses to be deleted; hidden and system files do not.
    const DWORD attributes = basic.FileAttributes & kSettableAttributes;
    const bool readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (readOnly && !SetAttributes(file.get(), attributes & ~FILE_ATTRIBUTE_READONLY)) return false;
    FILE_DISPOSITION_INFO dispose{};
    dispose.DeleteFile = TRUE;  // done when the handle closes
    if (::SetFileInformationByHandle(file.get(), FileDispositionInfo, &dispose, sizeof dispose)) return true;
    if (readOnly) SetAttributes(file.get(), attributes);  // left as it was found
    return false;
}

}  // namespace

bool RemoveFile(const char16_t* path) {
    return RemoveSharing(path, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
}

bool RemoveUnheldFile(const char16_t* path) { return RemoveSharing(path, 0); }

}  // namespace TesselLibrary
