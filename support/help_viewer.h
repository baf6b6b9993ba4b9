// Shows the help document written out at `path`; returns without waiting.
#pragma once

#include <string>

namespace TesselLibrary {

void DisplayHelp(const std::u16string& path);

}  // namespace TesselLibrary
