// Files compiled into the executable on platforms without resources.
#pragma once

#include <cstdint>

namespace TesselLibrary::Embedded {

// The help as one HTML page, and the same document as plain text.
extern const std::uint8_t helpPage[];
extern const std::uint32_t helpPage_size;
extern const std::uint8_t helpText[];
extern const std::uint32_t helpText_size;

}  // namespace TesselLibrary::Embedded
