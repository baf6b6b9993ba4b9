// Directory search on Windows: FindFirstFileW / FindNextFileW on
// folder + "*.*", in the order the file system returns the entries.
#include <windows.h>

#include "directory_search.h"
#include "long_path.h"
#include "wide.h"

namespace TesselLibrary {

struct DirectorySearchData {
    HANDLE find = INVALID_HANDLE_VALUE;
    WIN32_FIND_DATAW found{};
    bool pending = false;  // `found` holds the first entry, not yet handed out
    bool failed = false;

    ~DirectorySearchData() {
        if (find != INVALID_HANDLE_VALUE) ::FindClose(find);
    }
};

DirectorySearch::DirectorySearch(const std::u16string& folder, bool) : data_(std::make_unique<DirectorySearchData>()) {
    data_->find = ::FindFirstFileW(Win32::SystemPath(folder + u"*.*").c_str(), &data_->found);
    data_->pending = data_->find != INVALID_HANDLE_VALUE;
    // "Nothing matches" is an empty listing (a drive's root lists no "."
    // and ".."); anything else means the folder could not be read.
    data_->failed = data_->find == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_NOT_FOUND;
}

DirectorySearch::~DirectorySearch() = default;

bool DirectorySearch::ok() const { return data_->find != INVALID_HANDLE_VALUE; }

bool DirectorySearch::failed() const { return data_->failed; }

bool DirectorySearch::Next(DirectoryEntry& entry) {
    if (data_->find == INVALID_HANDLE_VALUE) return false;
    if (data_->pending) {
        data_->pending = false;
    } else if (!::FindNextFileW(data_->find, &data_->found)) {
        if (::GetLastError() != ERROR_NO_MORE_FILES) data_->failed = true;
        return false;
    }
    const DWORD attributes = data_->found.dwFileAttributes;
    entry.name = Win32::Utf16(data_->found.cFileName);
    entry.isDirectory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    // Junctions and symbolic links: following one could walk in a loop.
    entry.isLink = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    // The listing has the size anyway.
    entry.size = (static_cast<std::uint64_t>(data_->found.nFileSizeHigh) << 32) | data_->found.nFileSizeLow;
    return true;
}

}  // namespace TesselLibrary
