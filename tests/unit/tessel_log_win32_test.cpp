// The log on the Win32 backend: the desktop folder it goes to by default,
// the local time of its prefixes, and its bytes on disk.
#ifdef _WIN32

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tessel_log.h"
#include "win32_test_support.h"
#include "desktop_folder.h"
#include "local_time.h"

namespace {

using namespace TesselLibrary;
using win32_test::U;
using win32_test::W;

TEST(TesselLogWin32Test, DesktopFolderIsAnExistingFolderWithoutFinalBackslash) {
    const std::u16string desktop = DesktopFolder();
    ASSERT_FALSE(desktop.empty());
    EXPECT_NE(desktop.back(), u'\\');
    const DWORD attributes = ::GetFileAttributesW(W(desktop).c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

TEST(TesselLogWin32Test, LocalDateTimeLiesBetweenTwoReadingsOfTheClock) {
    const auto key = [](int y, int mo, int d, int h, int mi, int s) {
        return ((((static_cast<long long>(y) * 12 + mo) * 31 + d) * 24 + h) * 60 + mi) * 60 + s;
    };
    SYSTEMTIME before{};
    ::GetLocalTime(&before);
    const TesselDateTime now = LocalDateTime();
    SYSTEMTIME after{};
    ::GetLocalTime(&after);
    const long long value = key(now.year, now.month, now.day, now.hour, now.minute, now.second);
    EXPECT_LE(key(before.wYear, before.wMonth, before.wDay, before.wHour, before.wMinute, before.wSecond), value);
    EXPECT_GE(key(after.wYear, after.wMonth, after.wDay, after.wHour, after.wMinute, after.wSecond), value);
}

TEST(TesselLogWin32Test, OpenOnTheDesktopDeletesAnOldLogAndWritesUtf16Lines) {
    const std::u16string name = u"sumvane-win32-log-test.txt";
    const std::wstring path = W(DesktopFolder()) + L"\\" + W(name);
    ASSERT_TRUE(win32_test::PutFile(path, std::string("[\0o\0l\0d\0", 8)));  // an earlier log's first bytes
    ASSERT_TRUE(::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
    TesselLog log;
    log.Open(name, true);
    EXPECT_EQ(W(log.path()), path);
    EXPECT_FALSE(win32_test::Exists(path)) << "Open deletes an older log, read-only or not";
    log.Write(u"C:\\a.txt");
    log.WriteLine(u" - File Not Found");
    const auto bytes = win32_test::ReadWholeFile(path);
    ::DeleteFileW(path.c_str());
    ASSERT_TRUE(bytes.has_value());
    ASSERT_EQ(bytes->size(), (22 + 8 + 17 + 2) * 2u);
    std::u16string text(bytes->size() / 2, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char16_t>(static_cast<unsigned char>((*bytes)[2 * i]) |
                                        static_cast<unsigned char>((*bytes)[2 * i + 1]) << 8);
    EXPECT_EQ(text.substr(0, 1), u"[");
    EXPECT_EQ(text.substr(20, 2), u"] ");
    EXPECT_EQ(text.substr(22), u"C:\\a.txt - File Not Found\r\n");
}

}  // namespace

#endif  // _WIN32
