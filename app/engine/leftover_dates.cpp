#include "leftover_dates.h"

#include "file_dates.h"

bool LeftoverDates::Feed(const std::uint8_t*, std::size_t length) {
    length_ += length;
    return true;
}

bool LeftoverDates::Whole() const {
    if (length_ % kFileDateBytes == 0) return true;
    return length_ >= kFileDatesTieBytes && (length_ - kFileDatesTieBytes) % kFileDateBytes == 0;
}
