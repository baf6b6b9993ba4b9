// What a run, killed as it wrote the record of each file's date beside a
// summary (file_dates.h), leaves in its temporary file: whole entries, each a
// size below 2^56 and a date between the years 1742 and 2198 (or none
// recorded: 16 bytes FF), perhaps with the record's end after them (the
// count of the entries before it, a fingerprint, "SVDATES1"). Anything else
// in a file of that name is someone's own: no text is such a file.
#pragma once

#include <cstddef>
#include <cstdint>

#include "replacement_file.h"

class LeftoverDates final : public TesselLibrary::ReplacementContents {
public:
    bool Feed(const std::uint8_t* bytes, std::size_t length) override;
    bool Whole() const override;

private:
    std::uint8_t piece_[16] = {};
    std::size_t held_ = 0;          // bytes of the piece under way
    std::uint64_t pieces_ = 0;      // whole pieces so far
    bool lastIsEntry_ = false;      // the last whole piece could be an entry
    std::uint64_t lastNumber_ = 0;  // its first eight bytes, as the count of the end would be
};
