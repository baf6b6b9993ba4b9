#include "leftover_dates.h"

#include <algorithm>
#include <cstring>

#include "file_dates.h"

namespace {

bool CouldBeEntry(const std::uint8_t (&piece)[16]) {
    if (std::all_of(piece, piece + 16, [](std::uint8_t byte) { return byte == 0xFF; })) return true;
    // A size's highest byte is 0; a date's, 0 from 1970 on and FF before.
    return piece[7] == 0 && (piece[15] == 0 || piece[15] == 0xFF);
}

}  // namespace

bool LeftoverDates::Feed(const std::uint8_t* bytes, std::size_t length) {
    static_assert(sizeof piece_ == kFileDateBytes && kFileDatesTieBytes == kFileDateBytes + 8);
    for (std::size_t k = 0; k < length; ++k) {
        piece_[held_++] = bytes[k];
        if (held_ < sizeof piece_) continue;
        // Only the last piece may be the end's count and fingerprint.
        if (pieces_ > 0 && !lastIsEntry_) return false;
        lastIsEntry_ = CouldBeEntry(piece_);
        lastNumber_ = 0;
        for (int byte = 7; byte >= 0; --byte) lastNumber_ = (lastNumber_ << 8) | piece_[byte];
        ++pieces_;
        held_ = 0;
    }
    return true;
}

bool LeftoverDates::Whole() const {
    if (held_ == 0) return pieces_ == 0 || lastIsEntry_;
    return held_ == 8 && std::memcmp(piece_, "SVDATES1", 8) == 0 && pieces_ > 0 && lastNumber_ == pieces_ - 1;
}
