// Deleting a file by its path.
#pragma once

namespace TesselLibrary {

// Deletes the file (a link itself, never its target). On Windows a
// read-only, hidden or system file is deleted too.
bool RemoveFile(const char16_t* path);
// Windows: the same, only when no other program has the file open (a brief
// hold is waited for), so that the name is free once this returns true.
bool RemoveUnheldFile(const char16_t* path);

}  // namespace TesselLibrary
