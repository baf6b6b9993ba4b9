// The help viewer on the Win32 backend: HtmlHelpW opens a window of its own
// for the extracted help file and returns without waiting.
#ifdef _WIN32

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "help_viewer.h"
#include "tessel_app.h"
#include "tessel_file.h"
#include "win32_test_support.h"
#include "help_file.h"

namespace {

struct Found {
    DWORD process = 0;
    HWND window = nullptr;
};

BOOL CALLBACK TakeHelpWindow(HWND window, LPARAM argument) {
    auto& found = *reinterpret_cast<Found*>(argument);
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    wchar_t className[64] = {};
    ::GetClassNameW(window, className, 64);
    if (process == found.process && std::wstring(className) == L"HH Parent") {
        found.window = window;
        return FALSE;
    }
    return TRUE;
}

HWND HelpWindowOfThisProcess() {
    Found found;
    found.process = ::GetCurrentProcessId();
    ::EnumWindows(TakeHelpWindow, reinterpret_cast<LPARAM>(&found));
    return found.window;
}

TEST(HelpViewerWin32Test, DisplayOpensTheViewersWindowAndReturns) {
    if (!::LoadLibraryW(L"hhctrl.ocx")) GTEST_SKIP() << "no HTML Help viewer on this system";
    const TesselLibrary::TesselAppWindows frame;
    const win32_test::TempDir dir;
    const std::wstring path = dir / L"Sumvane.chm";
    ASSERT_TRUE(TesselLibrary::ExtractHelpFile(frame.module(), win32_test::U(path).c_str()));

    ASSERT_EQ(HelpWindowOfThisProcess(), nullptr);
    TesselLibrary::DisplayHelp(win32_test::U(path));  // returns: the window lives on
    const HWND window = HelpWindowOfThisProcess();
    ASSERT_NE(window, nullptr) << "no help window opened";
    wchar_t title[256] = {};
    ::GetWindowTextW(window, title, 256);
    EXPECT_EQ(std::wstring(title), L"Sumvane") << "the title of the compiled help";
    ::DestroyWindow(window);
}

}  // namespace

#endif  // _WIN32
