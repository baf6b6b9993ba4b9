// The order in which a build walks a tree and writes its summary, for any
// two paths below its root: folder by folder, depth first, a folder's files
// (in listing order) before its subfolders. A check that merges a summary
// with a walk of the same tree needs it to know which of the two comes
// first; a summary in any other order is sorted by it.
#pragma once

#include <string>

class WalkOrder {
public:
    // `rootPath`: the root as the summary's paths start, with its separator
    // (empty: paths relative to the current folder).
    explicit WalkOrder(std::u16string rootPath) : rootPath_(std::move(rootPath)) {}

    // Whether `a` comes before `b`. A path outside the root comes before
    // every path inside it; two outside it keep their order.
    bool before(const std::u16string& a, const std::u16string& b) const;

private:
    bool inside(const std::u16string& path) const;

    std::u16string rootPath_;
};
