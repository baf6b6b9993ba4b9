// Path texts: the separator is the platform's ("\" on Windows, "/" on POSIX).
#include "platform.h"
#include "path.h"

namespace TesselLibrary {

void AppendBackslash(std::u16string& text) {
    if (!text.empty() && text.back() != kPathSeparator) text.push_back(kPathSeparator);
}

std::u16string WithSeparator(std::u16string text) {
    AppendBackslash(text);
    return text;
}

bool IsAbsolutePath(const std::u16string& path) {
    if (!path.empty() && std::u16string(kPathSeparators).find(path[0]) != std::u16string::npos) return true;
    return kWindowsBuild && path.size() >= 2 && path[1] == u':';
}

std::u16string DirectoryOf(const std::u16string& path) {
    const auto last = path.find_last_of(kPathSeparators);
    if (last == std::u16string::npos) return {};
    std::u16string folder = path.substr(0, last);
    folder.push_back(kPathSeparator);
    return folder;
}

}  // namespace TesselLibrary
