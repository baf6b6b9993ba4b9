#include "summary_text.h"

#include <algorithm>
#include <utility>

#include "text.h"

using namespace TesselLibrary;

bool startsWithUtf8Mark(const std::uint8_t* bytes, std::size_t length) {
    return length >= kUtf8Mark.size() && std::equal(kUtf8Mark.begin(), kUtf8Mark.end(), bytes);
}

void SummaryText::Take(std::uint8_t byte, std::string& lineBytes) {
    if (!markPassed_) {
        TakeAtStart(byte, lineBytes);
    } else if (encoding_ != Encoding::Bytes) {
        TakeUtf16(byte, lineBytes);
    } else {
        lineBytes.push_back(static_cast<char>(byte));
    }
}

void SummaryText::TakeAtStart(std::uint8_t byte, std::string& lineBytes) {
    // No digest begins with any of these bytes.
    markBytes_[markSeen_++] = byte;
    const auto seenOf = [&](const auto& mark) {
        return markSeen_ <= mark.size() && std::equal(markBytes_.begin(), markBytes_.begin() + markSeen_, mark.begin());
    };
    if (seenOf(kUtf8Mark)) {
        markPassed_ = markSeen_ == kUtf8Mark.size();
        return;
    }
    for (const auto& [mark, encoding] :
         {std::pair{kUtf16LeMark, Encoding::Utf16Le}, {kUtf16BeMark, Encoding::Utf16Be}}) {
        if (!seenOf(mark)) continue;
        if (markSeen_ == mark.size()) {
            markPassed_ = true;
            encoding_ = encoding;
        }
        return;
    }
    markPassed_ = true;
    lineBytes.append(markBytes_.begin(), markBytes_.begin() + markSeen_);
}

void SummaryText::TakeUtf16(std::uint8_t byte, std::string& lineBytes) {
    if (halfUnit_ < 0) {
        halfUnit_ = byte;
        return;
    }
    const auto first = static_cast<char16_t>(halfUnit_);
    halfUnit_ = -1;
    const char16_t unit = encoding_ == Encoding::Utf16Le ? static_cast<char16_t>(first | byte << 8)
                                                         : static_cast<char16_t>(first << 8 | byte);
    if (highSurrogate_ != 0) {
        const char16_t high = highSurrogate_;
        highSurrogate_ = 0;
        if (IsLowSurrogate(unit)) {
            AppendUtf8(lineBytes, 0x10000 + ((char32_t{high} - 0xD800) << 10) + (unit - 0xDC00));
            return;
        }
        AppendUtf8(lineBytes, high);  // unpaired: it stands for itself, as in a name the system gives
    }
    if (IsHighSurrogate(unit)) {
        highSurrogate_ = unit;
        return;
    }
    AppendUtf8(lineBytes, unit);
}

void SummaryText::Finish(std::string& lineBytes) {
    if (!markPassed_) {
        markPassed_ = true;
        lineBytes.append(markBytes_.begin(), markBytes_.begin() + markSeen_);
    }
    // UTF-16 text that ends inside a character: a high surrogate stands for
    // itself; half a code unit is no character.
    if (highSurrogate_ != 0) AppendUtf8(lineBytes, std::exchange(highSurrogate_, char16_t{0}));
    halfUnit_ = -1;
}
