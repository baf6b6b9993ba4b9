// For the backends: the kinds of failure an open meets, whatever the
// system's code for it, and what a folder's open makes of each. Each backend
// keeps its own table from its system's codes to these kinds
// (support/posix/error_kinds.h, support/win32/error_kinds.h).
#pragma once

#include <cstddef>

#include "folder.h"

namespace TesselLibrary {

enum class ErrorKind {
    Missing,       // the name, or a folder on its way, is not there
    NoSuchName,    // a name no file may have: too long, or with characters no name holds
    NotAFolder,    // the name, or a name on its way, is something else than a folder
    Link,          // a link where none is followed
    NoDescriptor,  // the process may hold no more open files (or the system none, or no memory for one)
    Other,         // there, but not to be opened (no access, in use, an I/O error)
};

// A system's code and the kind it is.
template <typename Code>
struct ErrorRow {
    Code error;
    ErrorKind kind;
};

// The kind of `error` in a backend's table; Other for a code it does not list.
template <typename Code, std::size_t N>
constexpr ErrorKind KindIn(const ErrorRow<Code> (&table)[N], Code error) {
    for (const ErrorRow<Code>& row : table) {
        if (row.error == error) return row.kind;
    }
    return ErrorKind::Other;
}

// Why a folder did not open. Opened as a folder, a name that is a file or a
// link is something else than a folder, not a missing one.
constexpr FolderProblem FolderProblemOfKind(ErrorKind kind) {
    switch (kind) {
        case ErrorKind::Missing:
        case ErrorKind::NoSuchName: return FolderProblem::NotFound;
        case ErrorKind::NotAFolder:
        case ErrorKind::Link: return FolderProblem::NotAFolder;
        case ErrorKind::NoDescriptor: return FolderProblem::NoDescriptor;
        case ErrorKind::Other: break;
    }
    return FolderProblem::Unreadable;
}

}  // namespace TesselLibrary
