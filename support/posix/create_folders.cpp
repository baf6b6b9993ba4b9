// CreateFolders on POSIX: mkdir(2) for each missing folder, outermost first.
#include "create_folders.h"

#include <sys/stat.h>

#include <cerrno>

#include "text.h"

namespace TesselLibrary {

bool CreateFolders(const std::u16string& folder, bool privateToUser) {
    std::string path = ToSystemBytes(folder);
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    const mode_t mode = privateToUser ? 0700 : 0777;
    struct stat st;
    if (path.empty()) return false;
    if (::stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (::mkdir(part.c_str(), mode) != 0 && errno != EEXIST) return false;
    }
    if (::mkdir(path.c_str(), mode) != 0 && errno != EEXIST) return false;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace TesselLibrary
