// POSIX backend, private: what the errno of a failed open says, in one
// table. A folder's open, the digest's reader, FileHandle, the mapped file
// and the repair's copy take their kinds of problem from it.
#pragma once

#include <cerrno>

#include "error_kind.h"

namespace TesselLibrary::Posix {

inline constexpr ErrorRow<int> kErrorKinds[] = {
    {ENOENT, ErrorKind::Missing},      {ENAMETOOLONG, ErrorKind::NoSuchName}, {ENOTDIR, ErrorKind::NotAFolder},
    {ELOOP, ErrorKind::Link},          {EMFILE, ErrorKind::NoDescriptor},     {ENFILE, ErrorKind::NoDescriptor},
    {ENOMEM, ErrorKind::NoDescriptor},
};

constexpr ErrorKind KindOf(int error) { return KindIn(kErrorKinds, error); }

// A file opened by a name that is not there: a folder on its way is
// missing, or is a file (which holds no names).
constexpr bool IsMissing(int error) {
    const ErrorKind kind = KindOf(error);
    return kind == ErrorKind::Missing || kind == ErrorKind::NotAFolder;
}

// "Not found" of a file: missing, or a name too long for any file to have.
constexpr bool IsNotFoundError(int error) { return IsMissing(error) || KindOf(error) == ErrorKind::NoSuchName; }

constexpr bool IsOutOfDescriptors(int error) { return KindOf(error) == ErrorKind::NoDescriptor; }

constexpr FolderProblem FolderProblemOf(int error) { return FolderProblemOfKind(KindOf(error)); }

}  // namespace TesselLibrary::Posix
