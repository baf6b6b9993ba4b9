#include "leftover_place.h"

#include "slice_place.h"

namespace {

// Longer than any place this program writes.
constexpr std::size_t kLongest = 4096;

}  // namespace

bool LeftoverPlace::Feed(const std::uint8_t* bytes, std::size_t length) {
    if (text_.size() + length > kLongest) return false;
    text_.append(reinterpret_cast<const char*>(bytes), length);
    return true;
}

bool LeftoverPlace::Whole() const { return text_.empty() || parseSlicePlace(text_).has_value(); }
