// The frame on Windows: the executable's module, its RT_STRING blocks, and
// message boxes owned by the frame's (absent) owner window. A box comes to
// the foreground, since a console program has no window that would bring
// it there; while the help window is open a box also stays above it, or one
// click on the help would hide the box the process waits on.
#include <windows.h>
#include <commctrl.h>

#include "help_window.h"
#include "tessel_app.h"
#include "wide.h"

namespace TesselLibrary {

namespace {

constexpr char16_t kEmpty[] = u"";
constexpr std::uint32_t kEntriesPerBlock = 16;

HMODULE Module(const TesselAppData& data) { return static_cast<HMODULE>(data.module); }

// Not every system makes a box topmost for MB_TOPMOST alone (Wine does
// not), so the box is also put above the others as it is first activated.
thread_local HHOOK topmostHook = nullptr;

LRESULT CALLBACK PutTopmost(int code, WPARAM wParam, LPARAM lParam) {
    const HHOOK hook = topmostHook;
    if (code == HCBT_ACTIVATE) {
        ::SetWindowPos(reinterpret_cast<HWND>(wParam), HWND_TOPMOST, 0, 0, 0, 0,
                       SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        ::UnhookWindowsHookEx(hook);
        topmostHook = nullptr;
    }
    return ::CallNextHookEx(hook, code, wParam, lParam);
}

void Box(const TesselAppData& data, const char16_t* caption, const char16_t* text, UINT style) {
    style |= MB_SETFOREGROUND;
    if (Win32::HelpWindowShown()) {
        style |= MB_TOPMOST;
        topmostHook = ::SetWindowsHookExW(WH_CBT, PutTopmost, nullptr, ::GetCurrentThreadId());
    }
    ::MessageBoxW(static_cast<HWND>(data.ownerWindow), Win32::Wide(text ? text : kEmpty),
                  Win32::Wide(caption ? caption : kEmpty), style);
    if (topmostHook) {
        ::UnhookWindowsHookEx(topmostHook);  // no box came up
        topmostHook = nullptr;
    }
}

}  // namespace

TesselApp::TesselApp() : data_(std::make_unique<TesselAppData>()) {
    data_->module = ::GetModuleHandleW(nullptr);  // the executable; never freed
    data_->ownerWindow = nullptr;                 // a console tool has no window of its own
}

TesselApp::~TesselApp() = default;

const char16_t* TesselApp::ResourceString(std::uint32_t id) const {
    const std::uint32_t blockName = id / kEntriesPerBlock + 1;
    if (blockName > 0xFFFF) return kEmpty;  // no integer resource name can hold it
    const HMODULE module = Module(*data_);
    const HRSRC info = ::FindResourceW(module, MAKEINTRESOURCEW(blockName), RT_STRING);
    if (!info) return kEmpty;
    const HGLOBAL loaded = ::LoadResource(module, info);
    if (!loaded) return kEmpty;
    const auto* block = static_cast<const char16_t*>(::LockResource(loaded));
    if (!block) return kEmpty;

    // 16 entries in a row, each a count followed by that many code units.
    const std::size_t units = ::SizeofResource(module, info) / sizeof(char16_t);
    std::size_t at = 0;
    for (std::uint32_t index = 0; index < id % kEntriesPerBlock; ++index) {
        if (at >= units) return kEmpty;
        at += 1 + block[at];
    }
    if (at >= units) return kEmpty;
    const std::size_t count = block[at];
    if (count == 0 || at + 1 + count > units) return kEmpty;
    // The resource script stores each text with its null inside the count.
    return block + at + 1;
}

TesselAppWindows::TesselAppWindows() {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_BAR_CLASSES;
    ::InitCommonControlsEx(&controls);
}

TesselAppWindows::~TesselAppWindows() = default;

void TesselAppWindows::ShowMessage(const char16_t* caption, const char16_t* text) const {
    Box(*data_, caption, text, MB_OK | MB_ICONINFORMATION);
}

void TesselAppWindows::ShowError(const char16_t* caption, const char16_t* text) const {
    Box(*data_, caption, text, MB_OK | MB_ICONERROR);
}

}  // namespace TesselLibrary
