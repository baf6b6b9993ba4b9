// Lists one folder's entries: on Windows in the order the system returns
// them, on POSIX sorted as NTFS lists a folder (ListedBefore), so that the
// same tree is listed alike on any file system and either system.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace TesselLibrary {

struct DirectoryEntry {
    std::u16string name;
    bool isDirectory = false;  // also true for a link that points to a folder
    bool isLink = false;       // a symbolic link or reparse point: never descended into
    std::uint64_t size = 0;    // a file's size, when the search was asked for sizes
};

struct DirectorySearchData;

class DirectorySearch {
public:
    // `folder` ends in the separator, or is empty for the current directory.
    // `sizes`: fill in each file's size (on POSIX a call per entry).
    explicit DirectorySearch(const std::u16string& folder, bool sizes = false);
    ~DirectorySearch();
    DirectorySearch(const DirectorySearch&) = delete;
    DirectorySearch& operator=(const DirectorySearch&) = delete;

    bool ok() const;  // false when the folder is missing or cannot be listed
    bool Next(DirectoryEntry& entry);  // false at the end
    // After Next returned false: the folder could not be listed at all, or
    // an error ended the listing before its end, so entries may be missing.
    bool failed() const;

private:
    std::unique_ptr<DirectorySearchData> data_;
};

}  // namespace TesselLibrary
