// POSIX backend, private: making a folder path, like mkdir -p.
#pragma once

#include <sys/types.h>

#include <string>

namespace TesselLibrary::Posix {

// Creates `path` and its missing parents with `mode` (less the umask); true
// when `path` is a folder afterwards.
bool MakeFolders(const std::string& path, mode_t mode);

}  // namespace TesselLibrary::Posix
