// What a check in slices, killed as it put its place in, leaves in the
// temporary file beside the summary: the place's whole text (written in one
// piece) or nothing yet. Anything else in a file of that name is someone's
// own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "replacement_file.h"

class LeftoverPlace final : public TesselLibrary::ReplacementContents {
public:
    bool Feed(const std::uint8_t* bytes, std::size_t length) override;
    bool Whole() const override;

private:
    std::string text_;
};
