#include "listed_names.h"

#include <algorithm>

#include "name_compare.h"

namespace {

// FNV-1a over the name's code units.
std::uint64_t HashOf(const std::u16string& name) {
    std::uint64_t hash = 14695981039346656037ULL;
    for (const char16_t unit : TesselLibrary::NameKey(name)) {
        hash = (hash ^ (unit & 0xFF)) * 1099511628211ULL;
        hash = (hash ^ (unit >> 8)) * 1099511628211ULL;
    }
    return hash;
}

}  // namespace

void ListedNames::add(const std::u16string& name) { hashes_.push_back(HashOf(name)); }

void ListedNames::seal() {
    std::sort(hashes_.begin(), hashes_.end());
    hashes_.erase(std::unique(hashes_.begin(), hashes_.end()), hashes_.end());
    hashes_.shrink_to_fit();
}

bool ListedNames::lists(const std::u16string& name) const {
    return std::binary_search(hashes_.begin(), hashes_.end(), HashOf(name));
}
