// Making a folder and the folders above it, as mkdir -p does.
#pragma once

#include <string>

namespace TesselLibrary {

// Creates the folder and whichever of its parents are missing; true when
// it is a folder afterwards. New folders are open to all less the umask (so
// the user's umask decides who may look in), or, `privateToUser`, to the
// user alone (POSIX; Windows folders inherit their parent's permissions).
bool CreateFolders(const std::u16string& path, bool privateToUser = false);

}  // namespace TesselLibrary
