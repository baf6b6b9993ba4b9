// POSIX backend, private: the open of a file as a folder's owner could open
// it (owner_reads.h). Not part of the seam.
#pragma once

#include <sys/stat.h>

#include <string>

#include "owner_reads.h"

namespace TesselLibrary::Posix {

// `path` relative to `at`, links followed: a file inside the owner's folder
// opened as any file of the folder is; any other with the owner's identity
// for the file system. As OpenRegularFile otherwise (read-only, the
// non-blocking flag kept).
int OpenAsOwner(const OwnerReadsData& owner, int at, const std::string& path, struct stat* found);

}  // namespace TesselLibrary::Posix
