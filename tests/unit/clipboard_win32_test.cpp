// The clipboard on the Win32 backend, read back through the clipboard API.
#ifdef _WIN32

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <thread>

#include "clipboard.h"

namespace {

using TesselLibrary::OpenClipboard;
using TesselLibrary::PutTextOnClipboard;

std::optional<std::wstring> ClipboardText() {
    if (!::OpenClipboard(nullptr)) return std::nullopt;
    std::optional<std::wstring> text;
    if (const HANDLE data = ::GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* chars = static_cast<const wchar_t*>(::GlobalLock(data))) {
            text = std::wstring(chars);
            ::GlobalUnlock(data);
        }
    }
    ::CloseClipboard();
    return text;
}

TEST(ClipboardWin32Test, TextComesBackExactlyAndTheClipboardIsClosed) {
    for (const std::u16string& digits : {std::u16string(u"0123456789ABCDEF0123456789ABCDEF"), std::u16string(u"x")}) {
        ASSERT_TRUE(OpenClipboard()) << "no clipboard (no display?)";
        PutTextOnClipboard(digits);
        EXPECT_EQ(ClipboardText(), std::wstring(digits.begin(), digits.end())) << "and it was closed again";
    }
}

TEST(ClipboardWin32Test, EmptyTextLeavesTheClipboardEmpty) {
    ASSERT_TRUE(OpenClipboard());
    PutTextOnClipboard(u"something");
    ASSERT_TRUE(OpenClipboard());
    PutTextOnClipboard(u"");
    ASSERT_TRUE(::OpenClipboard(nullptr));
    EXPECT_FALSE(::IsClipboardFormatAvailable(CF_UNICODETEXT));
    ::CloseClipboard();
}

TEST(ClipboardWin32Test, AClipboardHeldByAnotherWindowCannotBeOpened) {
    const HWND holder = ::CreateWindowExW(0, L"Static", L"holder", 0, 0, 0, 1, 1, HWND_MESSAGE, nullptr,
                                          ::GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(holder, nullptr);
    ASSERT_TRUE(::OpenClipboard(holder));
    bool opened = true;
    std::thread other([&] {
        opened = OpenClipboard();
        if (opened) ::CloseClipboard();
    });
    other.join();
    ::CloseClipboard();
    ::DestroyWindow(holder);
    EXPECT_FALSE(opened);
}

}  // namespace

#endif  // _WIN32
