// Win32 backend, private: what a repair from a copy compares and carries
// over of a file it holds open (which file it is, its size, dates and
// attributes), and the setting of them.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "file_time.h"
#include "folder.h"

namespace TesselLibrary::Win32 {

struct FileFacts {
    FileIdentity identity;
    std::uint64_t size = 0;
    FileTime modified;
    FILETIME created{};
    DWORD attributes = 0;
};

bool FactsOf(HANDLE file, FileFacts* facts);

// The attributes a repaired or restored file takes of the one it stands
// for. The archive bit is left to the system (a new file has it: it has
// not been backed up), and compression, encryption and the like belong to
// the file system.
inline constexpr DWORD kCarriedAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// The file or folder `path` itself, a link opened and not followed, with
// `access` besides reading its attributes; everything shared, so that no
// other program is kept out. Null when it cannot be opened.
HANDLE OpenItself(const std::u16string& path, DWORD access);

// Gives the open file `attributes` (of kCarriedAttributes, the archive bit
// added) and, when given, its creation and modification dates.
bool SetBasics(HANDLE file, DWORD attributes, const FILETIME* created, const FILETIME* modified);

// Gives the file `path` the attributes `attributes` had (those of
// kCarriedAttributes, and the archive bit), when it is still the file
// `identity`: what a repair took away for a moment is given back.
bool SetAttributesOf(const std::u16string& path, const FileIdentity& identity, DWORD attributes);

}  // namespace TesselLibrary::Win32
