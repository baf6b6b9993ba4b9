// POSIX backend, private: what the errno of a failed open says, in one
// table. A folder's open, the digest's reader, FileHandle, the mapped file
// and the repair's copy take their kinds of problem from it.
#pragma once

#include <cerrno>

#include "folder.h"

namespace TesselLibrary::Posix {

enum class ErrorKind {
    Missing,       // the name, or a folder on its way, is not there
    NameTooLong,   // longer than the file system holds: no file has it
    NotAFolder,    // the name, or a name on its way, is something else than a folder
    Link,          // a link where none is followed
    NoDescriptor,  // the process may hold no more open files (or the system none, or no memory for one)
    Other,         // there, but not to be opened (no access, an I/O error)
};

struct ErrorRow {
    int error;
    ErrorKind kind;
};

inline constexpr ErrorRow kErrorKinds[] = {
    {ENOENT, ErrorKind::Missing},       {ENAMETOOLONG, ErrorKind::NameTooLong}, {ENOTDIR, ErrorKind::NotAFolder},
    {ELOOP, ErrorKind::Link},           {EMFILE, ErrorKind::NoDescriptor},      {ENFILE, ErrorKind::NoDescriptor},
    {ENOMEM, ErrorKind::NoDescriptor},
};

constexpr ErrorKind KindOf(int error) {
    for (const ErrorRow& row : kErrorKinds) {
        if (row.error == error) return row.kind;
    }
    return ErrorKind::Other;
}

// A file opened by a name that is not there: a folder on its way is
// missing, or is a file (which holds no names).
constexpr bool IsMissing(int error) {
    const ErrorKind kind = KindOf(error);
    return kind == ErrorKind::Missing || kind == ErrorKind::NotAFolder;
}

// "Not found" of a file: missing, or a name too long for any file to have.
constexpr bool IsNotFoundError(int error) { return IsMissing(error) || KindOf(error) == ErrorKind::NameTooLong; }

constexpr bool IsOutOfDescriptors(int error) { return KindOf(error) == ErrorKind::NoDescriptor; }

// Why a folder did not open. Opened as a folder, a name that is a file or a
// link is something else than a folder, not a missing one.
constexpr FolderProblem FolderProblemOf(int error) {
    switch (KindOf(error)) {
    case ErrorKind::Missing:
    case ErrorKind::NameTooLong: return FolderProblem::NotFound;
    case ErrorKind::NotAFolder:
    case ErrorKind::Link: return FolderProblem::NotAFolder;
    case ErrorKind::NoDescriptor: return FolderProblem::NoDescriptor;
    case ErrorKind::Other: break;
    }
    return FolderProblem::Unreadable;
}

}  // namespace TesselLibrary::Posix
