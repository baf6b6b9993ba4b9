// Centring a window on its parent or on the screen's work area.
#include <windows.h>

#include "window_centering.h"

namespace TesselLibrary {

void CenterWindowInRect(WindowHandle window, int x, int y, int width, int height) {
    const HWND hwnd = static_cast<HWND>(window);
    RECT work{};
    if (!::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0))
        work = RECT{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    // A reference point off the work area (a parent moved off screen) would
    // put the window where nobody sees it: centre in the work area instead.
    if (x < work.left || x > work.right || y < work.top || y > work.bottom) {
        x = 0;
        y = 0;
        width = work.right - work.left;
        height = work.bottom - work.top;
    }
    RECT own{};
    if (!::GetWindowRect(hwnd, &own)) return;
    int left = x + (width - (own.right - own.left)) / 2;
    int top = y + (height - (own.bottom - own.top)) / 2;
    if (left < 0) left = 0;
    if (top < 0) top = 0;
    ::SetWindowPos(hwnd, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

void CenterWindowOnScreen(WindowHandle window) {
    CenterWindowInRect(window, 0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN));
}

void CenterWindow(WindowHandle window) {
    const HWND parent = ::GetParent(static_cast<HWND>(window));
    if (!parent) {
        CenterWindowOnScreen(window);
        return;
    }
    RECT area{};
    if (!::GetWindowRect(parent, &area)) return;
    CenterWindowInRect(window, area.left, area.top, area.right - area.left, area.bottom - area.top);
}

}  // namespace TesselLibrary
