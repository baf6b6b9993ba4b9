#include "program_search.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string_view>

namespace TesselLibrary::Posix {

std::string EnvironmentBytes(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

bool InGraphicalSession() {
    return !EnvironmentBytes("DISPLAY").empty() || !EnvironmentBytes("WAYLAND_DISPLAY").empty();
}

namespace {

std::string DefaultSearchPath() {
    const std::size_t length = ::confstr(_CS_PATH, nullptr, 0);
    if (length == 0) return "/usr/bin:/bin";
    std::string path(length, '\0');
    ::confstr(_CS_PATH, path.data(), length);
    path.resize(length - 1);  // drop the terminator confstr counts
    return path;
}

bool IsExecutableFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

}  // namespace

std::string FindProgram(const std::string& name) {
    if (name.empty() || name.find('/') != std::string::npos) return {};
    const char* pathVariable = std::getenv("PATH");
    const std::string searchPath = pathVariable ? std::string(pathVariable) : DefaultSearchPath();
    std::size_t start = 0;
    while (true) {
        const std::size_t end = searchPath.find(':', start);
        const std::string_view folder =
            std::string_view(searchPath).substr(start, end == std::string::npos ? std::string::npos : end - start);
        std::string candidate(folder.empty() ? std::string_view(".") : folder);  // an empty entry is the current folder
        candidate += '/';
        candidate += name;
        if (IsExecutableFile(candidate)) return candidate;
        if (end == std::string::npos) return {};
        start = end + 1;
    }
}

}  // namespace TesselLibrary::Posix
