// Win32 backend, private: the temporary file a killed repair from a copy
// left beside the file it repaired. Its name is made of the file's path, so
// that the next repair of that file finds it again; it is told from a file
// of someone's own by holding nothing but the copy's first bytes.
#pragma once

#include <string>
#include <vector>

#include "file_handle.h"
#include "folder.h"

namespace TesselLibrary::Win32 {

// Removes the file `name` in `folder` when it is such a leftover (no live
// run holds it). `copy`, open on the copy's file, is read from its start
// and put back there; false when it could not be.
bool RemoveRepairLeftover(const Folder& folder, const std::u16string& name, FileHandle& copy);

}  // namespace TesselLibrary::Win32
