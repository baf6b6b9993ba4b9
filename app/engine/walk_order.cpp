#include "walk_order.h"

#include <string_view>
#include <vector>

#include "name_compare.h"
#include "path.h"
#include "platform.h"

using namespace TesselLibrary;

namespace {

std::vector<std::u16string_view> NamesOf(std::u16string_view rest) {
    std::vector<std::u16string_view> names;
    for (std::size_t start = 0;;) {
        const std::size_t end = rest.find_first_of(kPathSeparators, start);
        names.push_back(rest.substr(start, end == std::u16string_view::npos ? std::u16string_view::npos : end - start));
        if (end == std::u16string_view::npos) return names;
        start = end + 1;
    }
}

}  // namespace

bool WalkOrder::inside(const std::u16string& path) const {
    if (rootPath_.empty()) return !IsAbsolutePath(path);
    return path.size() > rootPath_.size() && path.compare(0, rootPath_.size(), rootPath_) == 0;
}

bool WalkOrder::before(const std::u16string& a, const std::u16string& b) const {
    const bool aInside = inside(a);
    const bool bInside = inside(b);
    if (aInside != bInside) return !aInside;
    if (!aInside) return false;
    const std::vector<std::u16string_view> x = NamesOf(std::u16string_view(a).substr(rootPath_.size()));
    const std::vector<std::u16string_view> y = NamesOf(std::u16string_view(b).substr(rootPath_.size()));
    std::size_t i = 0;
    while (i < x.size() && i < y.size() && x[i] == y[i]) ++i;
    // A file named like a folder on the other's way is one of the files
    // listed before that folder's contents.
    if (i == x.size() || i == y.size()) return x.size() < y.size();
    const bool xFile = i + 1 == x.size();
    const bool yFile = i + 1 == y.size();
    if (xFile != yFile) return xFile;
    return ListedBefore(std::u16string(x[i]), std::u16string(y[i]));
}
