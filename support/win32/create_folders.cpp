// CreateFolders on Windows: the folder and its missing parents, outermost
// first.
#include <windows.h>

#include <vector>

#include "long_path.h"
#include "create_folders.h"
#include "path.h"

namespace TesselLibrary {

namespace {

bool IsFolder(const std::u16string& path) {
    const DWORD attributes = ::GetFileAttributesW(Win32::SystemPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

bool CreateFolders(const std::u16string& path, bool) {
    // The missing folders, innermost first. The walk up stops at the first
    // folder that exists, or where the text stops getting shorter (a root).
    std::vector<std::u16string> missing;
    for (std::u16string folder = WithoutLastSeparators(path); !folder.empty() && !IsFolder(folder);) {
        missing.push_back(folder);
        const std::u16string parent = WithoutLastSeparators(DirectoryOf(folder));
        if (parent.size() >= folder.size()) break;
        folder = parent;
    }
    for (auto folder = missing.rbegin(); folder != missing.rend(); ++folder) {
        // Another process may make it meanwhile: a folder afterwards is success.
        if (!::CreateDirectoryW(Win32::SystemPath(*folder).c_str(), nullptr) && !IsFolder(*folder)) return false;
    }
    return !path.empty() && IsFolder(path);
}

}  // namespace TesselLibrary
