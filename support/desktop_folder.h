// The user's desktop, where a run's log goes unless it is told otherwise.
#pragma once

#include <string>

namespace TesselLibrary {

// The desktop folder (created when missing), without a final separator; ""
// when there is none.
std::u16string DesktopFolder();

}  // namespace TesselLibrary
