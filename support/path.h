// Path text: the one place the program forms it. A path is split into its
// folder and its last name, into its names, and joined from them here;
// whether a path lies below a folder, and the names of the files that keep
// a summary company, are decided here too.
//
// A folder the program works in travels as one of two texts: as a person
// wrote it (its last separator optional; empty: the current folder), and
// as the paths below it start (WithSeparator of that: ends in the
// separator, or stays empty for the current folder). Every function below
// that takes a `folderPath` wants the second.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace TesselLibrary {

// Whether a code unit separates names: "/" on POSIX, "\" and "/" on Windows.
bool IsPathSeparator(char16_t unit);
// Whether a text is one name: not empty, and no separator in it.
bool IsOneName(std::u16string_view name);
// Whether a text names an entry of a folder, as the system takes it: one
// name, and not "." or "..", which lead to the folder itself or above it.
bool IsEntryName(std::u16string_view name);

// Appends the separator to a non-empty text that does not already end in one.
void AppendSeparator(std::u16string& text);
// The same as a new text: a folder as the paths below it start.
std::u16string WithSeparator(std::u16string text);
// A folder without the separators its text ends in, as a person names it;
// the top of a file system ("/", "D:\") keeps its own.
std::u16string WithoutLastSeparators(std::u16string folder);

// Whether a path starts at the top of a file system (a separator; on Windows
// also a drive letter and its colon), not at the current folder.
bool IsAbsolutePath(std::u16string_view path);

// The folder part of a path, ending in the separator; "" without one.
std::u16string DirectoryOf(const std::u16string& path);
// What follows the last separator: the whole path when it has none.
std::u16string LastName(const std::u16string& path);
// The names of a path, in order: "a/b/c" gives a, b and c; an empty name
// stands where two separators meet or one ends the path.
std::vector<std::u16string_view> NamesOf(std::u16string_view path);

// Whether `path` lies below the folder `folderPath` (empty: the current
// folder, below which every relative path lies). The folder itself is not.
bool IsBelow(std::u16string_view path, std::u16string_view folderPath);

// The path the system reaches by `path`'s names, written plainly: "." and
// empty names left out, a name followed by ".." taken out with it, the
// platform's separator between names; a path from the top keeps its start
// ("/", "D:\"). "./a//b" gives "a/b", "/t/sub/../x" gives "/t/x". Exact
// where a folder is followed name by name without links, as a summary's
// folder is; elsewhere a link named before ".." may lead the system to
// another folder.
std::u16string PlainPath(std::u16string_view path);

// A name in a folder: with the separator between them when the folder does
// not already end in one (an empty folder: the name alone).
std::u16string JoinPath(const std::u16string& folder, const std::u16string& name);
// The folder `name` in `folderPath`, as the paths below it start.
std::u16string SubfolderPath(const std::u16string& folderPath, const std::u16string& name);

// The companions of a summary named `summaryName`, beside it in its folder:
// the fresh summary a check writes where something differed ("Sumvane.md5X"),
// the place a check in slices keeps ("Sumvane.md5.place"), and the record of
// each file's date as read ("Sumvane.md5.dates"; "Sumvane.md5X.dates" is
// the rewrite's).
std::u16string RewriteName(const std::u16string& summaryName);
std::u16string SlicePlaceName(const std::u16string& summaryName);
std::u16string FileDatesName(const std::u16string& summaryName);

}  // namespace TesselLibrary
