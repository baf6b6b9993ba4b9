// The help document the program carries: found among its resources (on
// POSIX compiled in) and written out for the viewer.
#pragma once

#include <cstdint>

#include "tessel_app.h"

namespace TesselLibrary {

// The embedded help document; null and 0 when there is none.
const std::uint8_t* FindHelpResource(ModuleHandle module, std::uint32_t* size);
// Writes the embedded help document to `path`, replacing an older file.
bool ExtractHelpFile(ModuleHandle module, const char16_t* path);

}  // namespace TesselLibrary
