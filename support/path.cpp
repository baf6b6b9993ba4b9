// Path texts: the separator is the platform's ("\" on Windows, "/" on POSIX).
#include "platform.h"
#include "path.h"

namespace TesselLibrary {

bool IsPathSeparator(char16_t unit) {
    return std::u16string_view(kPathSeparators).find(unit) != std::u16string_view::npos;
}

bool IsOneName(std::u16string_view name) {
    return !name.empty() && name.find_first_of(kPathSeparators) == std::u16string_view::npos;
}

bool IsEntryName(std::u16string_view name) { return IsOneName(name) && name != u"." && name != u".."; }

void AppendSeparator(std::u16string& text) {
    if (!text.empty() && text.back() != kPathSeparator) text.push_back(kPathSeparator);
}

std::u16string WithSeparator(std::u16string text) {
    AppendSeparator(text);
    return text;
}

std::u16string WithoutLastSeparators(std::u16string folder) {
    while (folder.size() > 1 && IsPathSeparator(folder.back())) {
        if (kWindowsBuild && folder.size() == 3 && folder[1] == u':') break;  // "D:\" is a whole folder
        folder.pop_back();
    }
    return folder;
}

bool IsAbsolutePath(std::u16string_view path) {
    if (!path.empty() && IsPathSeparator(path[0])) return true;
    return kWindowsBuild && path.size() >= 2 && path[1] == u':';
}

std::u16string DirectoryOf(const std::u16string& path) {
    const auto last = path.find_last_of(kPathSeparators);
    if (last == std::u16string::npos) return {};
    std::u16string folder = path.substr(0, last);
    folder.push_back(kPathSeparator);
    return folder;
}

std::u16string LastName(const std::u16string& path) {
    const auto last = path.find_last_of(kPathSeparators);
    return last == std::u16string::npos ? path : path.substr(last + 1);
}

std::vector<std::u16string_view> NamesOf(std::u16string_view path) {
    std::vector<std::u16string_view> names;
    for (std::size_t start = 0;;) {
        const std::size_t end = path.find_first_of(kPathSeparators, start);
        names.push_back(path.substr(start, end == std::u16string_view::npos ? std::u16string_view::npos : end - start));
        if (end == std::u16string_view::npos) return names;
        start = end + 1;
    }
}

bool IsBelow(std::u16string_view path, std::u16string_view folderPath) {
    if (folderPath.empty()) return !IsAbsolutePath(path);
    return path.size() > folderPath.size() && path.substr(0, folderPath.size()) == folderPath;
}

std::u16string PlainPath(std::u16string_view path) {
    std::u16string plain;
    std::size_t at = 0;
    if (kWindowsBuild && path.size() >= 2 && path[1] == u':') {
        plain = path.substr(0, 2);
        at = 2;
    }
    const bool fromTop = at < path.size() && IsPathSeparator(path[at]);
    if (fromTop) plain.push_back(kPathSeparator);
    std::vector<std::u16string_view> kept;
    for (const std::u16string_view name : NamesOf(path.substr(at))) {
        if (name.empty() || name == u".") continue;
        if (name == u".." && !kept.empty() && kept.back() != u"..") {
            kept.pop_back();
        } else if (name != u".." || !fromTop) {  // ".." at the top is the top
            kept.push_back(name);
        }
    }
    for (std::size_t i = 0; i < kept.size(); ++i) {
        if (i > 0) plain.push_back(kPathSeparator);
        plain += kept[i];
    }
    return plain;
}

std::u16string JoinPath(const std::u16string& folder, const std::u16string& name) {
    if (folder.empty() || IsPathSeparator(folder.back())) return folder + name;
    return folder + kPathSeparator + name;
}

std::u16string SubfolderPath(const std::u16string& folderPath, const std::u16string& name) {
    return folderPath + name + kPathSeparator;
}

std::u16string RewriteName(const std::u16string& summaryName) { return summaryName + u"X"; }

std::u16string SlicePlaceName(const std::u16string& summaryName) { return summaryName + u".place"; }

std::u16string FileDatesName(const std::u16string& summaryName) { return summaryName + u".dates"; }

}  // namespace TesselLibrary
