// What a killed build or check leaves in the temporary file of the summary
// it was replacing: the summary lines written so far ("<32 upper-case
// digits> <path bytes>\r\n"), the last one possibly cut anywhere, since the
// lines go out in blocks. Nothing else is ever in such a file, so a file of
// that name holding anything else is someone's own.
#pragma once

#include <cstddef>
#include <cstdint>

#include "replacement_file.h"

class LeftoverSummary final : public TesselLibrary::ReplacementContents {
public:
    bool Feed(const std::uint8_t* bytes, std::size_t length) override;
    // Empty (killed before its first block), or at least one whole digest.
    bool Whole() const override { return total_ == 0 || total_ >= kDigits; }

private:
    static constexpr std::size_t kDigits = 32;
    std::size_t column_ = 0;  // where in its line the next byte is: digits, the space, the path
    bool afterCarriageReturn_ = false;
    std::uint64_t total_ = 0;
};
