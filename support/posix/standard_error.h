// POSIX backend, private: standard error carries the lines the program
// writes there (every log line, messages, the closing line) and, while a job
// runs on a terminal, the progress display drawn at its foot. While the
// display is drawn, a line is handed to it and put above it; written
// straight, the display's next redraw would erase it.
#pragma once

#include <string>

namespace TesselLibrary::Posix {

// Returns true when it took the bytes; false means write them directly.
using ErrorTextRoute = bool (*)(const std::string& bytes);

// Installed by the progress runner while its display is drawn; null to
// write straight to the descriptor again.
void SetErrorTextRoute(ErrorTextRoute route);

}  // namespace TesselLibrary::Posix
