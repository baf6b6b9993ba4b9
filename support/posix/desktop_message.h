// Message boxes of a run that has no terminal, such as the context-menu
// action chosen in a file manager: there standard error reaches nobody, so
// the box is shown on the desktop.
#pragma once

#include <string>

namespace TesselLibrary::Posix {

// When standard error is not a terminal and a graphical session is present:
// shows the box through notify-send (a desktop notification), zenity or
// kdialog (a dialog), the first of them that starts, and does not wait for
// it. False when it was not shown; the caller then writes the line to
// standard error.
bool ShowOnDesktop(const std::string& caption, const std::string& text, bool error);

}  // namespace TesselLibrary::Posix
