// Win32 backend, private: what GetLastError says after a failed open, in
// one table. A folder's open, the digest's reader, FileHandle and the mapped
// file take their kinds of problem from it.
#pragma once

#include <windows.h>

#include "error_kind.h"

namespace TesselLibrary::Win32 {

inline constexpr ErrorRow<DWORD> kErrorKinds[] = {
    {ERROR_FILE_NOT_FOUND, ErrorKind::Missing},
    {ERROR_PATH_NOT_FOUND, ErrorKind::Missing},
    {ERROR_FILENAME_EXCED_RANGE, ErrorKind::NoSuchName},
    {ERROR_INVALID_NAME, ErrorKind::NoSuchName},
    {ERROR_DIRECTORY, ErrorKind::NotAFolder},
    {ERROR_TOO_MANY_OPEN_FILES, ErrorKind::NoDescriptor},
    {ERROR_NOT_ENOUGH_MEMORY, ErrorKind::NoDescriptor},
    {ERROR_OUTOFMEMORY, ErrorKind::NoDescriptor},
};

constexpr ErrorKind KindOf(DWORD error) { return KindIn(kErrorKinds, error); }

// What FileHandle and the mapped file call "not found": the name is not there.
constexpr bool IsMissing(DWORD error) { return KindOf(error) == ErrorKind::Missing; }

// What the digest's reader calls "not found": also a name no file may have.
constexpr bool IsNotFoundError(DWORD error) { return IsMissing(error) || KindOf(error) == ErrorKind::NoSuchName; }

constexpr bool IsOutOfHandles(DWORD error) { return KindOf(error) == ErrorKind::NoDescriptor; }

constexpr FolderProblem FolderProblemOf(DWORD error) { return FolderProblemOfKind(KindOf(error)); }

}  // namespace TesselLibrary::Win32
