// Shows the help document written out at `path`; returns without waiting.
#pragma once

#include <string>

namespace TesselLibrary {

void DisplayHelp(const std::u16string& path);
// The help as plain text on standard output, for "--help" (POSIX). Windows
// has the help only as a document for its viewer: nothing is written there
// and the result is false.
bool WritePlainHelp();

}  // namespace TesselLibrary
