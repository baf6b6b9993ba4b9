// The two texts of paths the program forms: a folder with its separator,
// and the folder part of a path.
#pragma once

#include <string>

namespace TesselLibrary {

// Appends the separator to a non-empty text that does not already end in it.
void AppendBackslash(std::u16string& text);
// The same as a new text: a folder as the paths below it start.
std::u16string WithSeparator(std::u16string text);

// Whether a path starts at the top of a file system (a separator; on Windows
// also a drive letter and its colon), not at the current folder.
bool IsAbsolutePath(const std::u16string& path);

// The folder part of a path, ending in the separator; "" without one.
std::u16string DirectoryOf(const std::u16string& path);

}  // namespace TesselLibrary
