// Win32 backend, private: centring a window, for the dialogs the program
// shows (only Windows has windows of its own to place).
#pragma once

#include "tessel_app.h"

namespace TesselLibrary {

// Moves `window` so that it is centred on the rectangle at (x, y) of the
// given size; a rectangle whose corner lies outside the work area stands for
// the work area's size at the origin. A negative position becomes 0.
void CenterWindowInRect(WindowHandle window, int x, int y, int width, int height);
// Centred on the whole screen.
void CenterWindowOnScreen(WindowHandle window);
// Centred on its parent, or on the screen when it has none.
void CenterWindow(WindowHandle window);

}  // namespace TesselLibrary
