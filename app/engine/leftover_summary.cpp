#include "leftover_summary.h"

namespace {

bool IsDigit(std::uint8_t byte) { return (byte >= '0' && byte <= '9') || (byte >= 'A' && byte <= 'F'); }

}  // namespace

bool LeftoverSummary::Feed(const std::uint8_t* bytes, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
        const std::uint8_t byte = bytes[i];
        if (afterCarriageReturn_) {
            if (byte != '\n') return false;
            afterCarriageReturn_ = false;
            column_ = 0;
        } else if (column_ < kDigits) {
            if (!IsDigit(byte)) return false;
            ++column_;
        } else if (column_ == kDigits) {
            if (byte != ' ') return false;
            ++column_;
        } else if (byte == '\r') {
            // A path has at least one byte, and none is a line break.
            if (column_ == kDigits + 1) return false;
            afterCarriageReturn_ = true;
        } else if (byte == '\n' || byte == 0) {
            return false;
        } else {
            column_ = kDigits + 2;
        }
    }
    total_ += length;
    return true;
}
