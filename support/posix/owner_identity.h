// POSIX backend, private: the opens of a file as whoever could have asked
// for it could open it (owner_reads.h). Not part of the seam.
#pragma once

#include <sys/stat.h>

#include <string>

#include "owner_reads.h"

namespace TesselLibrary::Posix {

// Both follow links and open as OpenRegularFile does otherwise (read-only,
// the non-blocking flag kept); a file they lead to inside the folder opens
// as any file of the folder does.
//
// `name` in the folder `at` of the tree, a link: what it leads to outside
// with the identity of whoever may put a link into that folder.
int OpenLinkOfTree(const OwnerReadsData& reads, int at, const std::string& name, struct stat* found);
// `path` as a summary names it: outside with the identity of whoever could
// have written the summary.
int OpenNamedPath(const OwnerReadsData& reads, const std::string& path, struct stat* found);

}  // namespace TesselLibrary::Posix
