// POSIX backend, private: standard error is shared by the progress display
// and the lines the program writes there (log lines that could not reach
// the log). While the display is drawn, a line goes through it and lands
// above it; written straight, the display's next redraw would erase it.
#pragma once

#include <string>

namespace TesselLibrary::Posix {

// Returns true when it took the bytes; false means write them directly.
using ErrorTextRoute = bool (*)(const std::string& bytes);

// Installed by the progress runner while its display is drawn; null to
// write straight to the descriptor again.
void SetErrorTextRoute(ErrorTextRoute route);

// For the interrupt: erases the progress display if it is drawn, and keeps
// it from being drawn again, so that what follows starts where it began.
void EraseProgressDisplay();

}  // namespace TesselLibrary::Posix
