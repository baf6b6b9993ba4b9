// Win32 backend, private: what GetLastError says after a failed open, in
// one table. A folder's open, the digest's reader, FileHandle and the mapped
// file take their kinds of problem from it.
#pragma once

#include <windows.h>

#include "folder.h"

namespace TesselLibrary::Win32 {

enum class ErrorKind {
    Missing,     // the name, or a folder on its way, is not there
    NoSuchName,  // too long for any file, or with characters no name may hold: no file has it
    NotAFolder,  // opened as a folder, the name is a file
    NoHandle,    // the process may hold no more open files (or no memory for one)
    Other,       // there, but not to be opened (no access, in use, an I/O error)
};

struct ErrorRow {
    DWORD error;
    ErrorKind kind;
};

inline constexpr ErrorRow kErrorKinds[] = {
    {ERROR_FILE_NOT_FOUND, ErrorKind::Missing},
    {ERROR_PATH_NOT_FOUND, ErrorKind::Missing},
    {ERROR_FILENAME_EXCED_RANGE, ErrorKind::NoSuchName},
    {ERROR_INVALID_NAME, ErrorKind::NoSuchName},
    {ERROR_DIRECTORY, ErrorKind::NotAFolder},
    {ERROR_TOO_MANY_OPEN_FILES, ErrorKind::NoHandle},
    {ERROR_NOT_ENOUGH_MEMORY, ErrorKind::NoHandle},
    {ERROR_OUTOFMEMORY, ErrorKind::NoHandle},
};

constexpr ErrorKind KindOf(DWORD error) {
    for (const ErrorRow& row : kErrorKinds) {
        if (row.error == error) return row.kind;
    }
    return ErrorKind::Other;
}

// What FileHandle and the mapped file call "not found": the name is not there.
constexpr bool IsMissing(DWORD error) { return KindOf(error) == ErrorKind::Missing; }

// What the digest's reader calls "not found": also a name no file may have.
constexpr bool IsNotFoundError(DWORD error) { return IsMissing(error) || KindOf(error) == ErrorKind::NoSuchName; }

constexpr bool IsOutOfHandles(DWORD error) { return KindOf(error) == ErrorKind::NoHandle; }

// Why a folder did not open.
constexpr FolderProblem FolderProblemOf(DWORD error) {
    switch (KindOf(error)) {
    case ErrorKind::Missing:
    case ErrorKind::NoSuchName: return FolderProblem::NotFound;
    case ErrorKind::NotAFolder: return FolderProblem::NotAFolder;
    case ErrorKind::NoHandle: return FolderProblem::NoDescriptor;
    case ErrorKind::Other: break;
    }
    return FolderProblem::Unreadable;
}

}  // namespace TesselLibrary::Win32
