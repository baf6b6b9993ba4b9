// What a run, killed as it wrote the record of each file's date beside a
// summary (file_dates.h), leaves in its temporary file: whole entries, and
// at most the record's end after them; nothing else a run writes there is
// of another length. A file of that name of any other length is someone's
// own.
#pragma once

#include <cstddef>
#include <cstdint>

#include "replacement_file.h"

class LeftoverDates final : public TesselLibrary::ReplacementContents {
public:
    bool Feed(const std::uint8_t* bytes, std::size_t length) override;
    bool Whole() const override;

private:
    std::uint64_t length_ = 0;
};
