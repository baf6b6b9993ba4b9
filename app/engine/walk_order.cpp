#include "walk_order.h"

#include <string_view>
#include <vector>

#include "name_compare.h"
#include "path.h"
#include "platform.h"

using namespace TesselLibrary;

bool WalkOrder::inside(const std::u16string& path) const { return IsBelow(path, rootPath_); }

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
