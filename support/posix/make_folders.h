// POSIX backend, private: making a folder path, like mkdir -p.
#pragma once

#include <sys/types.h>

#include <string>

namespace TesselLibrary::Posix {

// Folders the program makes for its log (the desktop, an output folder):
// open to all less the umask, as mkdir -p makes them, so that the user's
// umask decides who may look in.
inline constexpr mode_t kNewFolderMode = 0777;

// Creates `path` and its missing parents with `mode` (less the umask); true
// when `path` is a folder afterwards.
bool MakeFolders(const std::string& path, mode_t mode);

}  // namespace TesselLibrary::Posix
