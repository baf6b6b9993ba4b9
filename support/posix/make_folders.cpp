// Making folder paths on POSIX.
#include "make_folders.h"

#include <sys/stat.h>

#include <cerrno>

#include "tessel_app.h"
#include "text.h"

namespace TesselLibrary {

namespace Posix {

bool MakeFolders(const std::string& path, mode_t mode) {
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

}  // namespace Posix

bool CreateFolders(const std::u16string& path) {
    std::string bytes = ToSystemBytes(path);
    while (bytes.size() > 1 && bytes.back() == '/') bytes.pop_back();
    return Posix::MakeFolders(bytes, Posix::kNewFolderMode);
}

}  // namespace TesselLibrary
