// The HTML Help viewer: HtmlHelpW from hhctrl.ocx, loaded on first use.
#include <windows.h>

#include "help_viewer.h"
#include "help_window.h"
#include "wide.h"

namespace TesselLibrary {

namespace {

using HtmlHelpFunction = HWND(WINAPI*)(HWND caller, LPCWSTR file, UINT command, DWORD_PTR data);
constexpr UINT kDisplayTopic = 0;  // HH_DISPLAY_TOPIC

// Looked up once. The library is never unloaded: the help window it opens
// belongs to it and stays open until the process ends.
HtmlHelpFunction HtmlHelp() {
    static const HtmlHelpFunction function = []() -> HtmlHelpFunction {
        const HMODULE library = ::LoadLibraryW(L"hhctrl.ocx");
        if (!library) return nullptr;
        return reinterpret_cast<HtmlHelpFunction>(reinterpret_cast<void*>(::GetProcAddress(library, "HtmlHelpW")));
    }();
    return function;
}

// Main thread only, like every window the program opens.
bool helpWindowShown = false;

}  // namespace

bool Win32::HelpWindowShown() { return helpWindowShown; }

void DisplayHelp(const std::u16string& path) {
    if (const HtmlHelpFunction function = HtmlHelp()) {
        // Not every viewer hands back its window; a box above no help
        // window does no harm.
        function(nullptr, Win32::Wide(path), kDisplayTopic, 0);
        helpWindowShown = true;
    }
}

bool WritePlainHelp() { return false; }

}  // namespace TesselLibrary
