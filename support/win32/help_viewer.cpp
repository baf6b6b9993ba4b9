// The HTML Help viewer: HtmlHelpW from hhctrl.ocx, loaded on first use.
#include <windows.h>

#include "help_viewer.h"
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

}  // namespace

void DisplayHelp(const std::u16string& path) {
    if (const HtmlHelpFunction function = HtmlHelp()) function(nullptr, Win32::Wide(path), kDisplayTopic, 0);
}

bool WritePlainHelp() { return false; }

}  // namespace TesselLibrary
