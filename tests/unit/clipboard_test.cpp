// The clipboard on Linux goes through wl-copy, xclip or xsel; fake tools on
// a private PATH record what they were given.
#ifndef _WIN32

#include "clipboard.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "posix_test_support.h"

namespace {

using posix_test::Exists;
using posix_test::ReadFile;
using posix_test::ScopedEnv;
using posix_test::TempDir;
using TesselLibrary::OpenClipboard;
using TesselLibrary::PutTextOnClipboard;
using Clock = std::chrono::steady_clock;

// Digits, an accented letter, a currency sign outside Latin-1 and a
// character outside the basic plane (a surrogate pair in UTF-16).
const std::u16string kText = u"0123456789ABCDEF0123456789ABCDEF \u00e9\u20ac\U0001F600";
const std::string kTextUtf8 = "0123456789ABCDEF0123456789ABCDEF \xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80";

class ClipboardTest : public ::testing::Test {
protected:
    // A tool in `folder` that records its arguments and copies its input.
    void AddRecordingTool(const TempDir& folder, const std::string& name) const {
        posix_test::WriteFile(
            folder / name,
            "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + args(name) + "'\nexec /bin/cat > '" + input(name) + "'\n", 0755);
    }
    std::string args(const std::string& tool) const { return records / ("args-" + tool); }
    std::string input(const std::string& tool) const { return records / ("input-" + tool); }

    TempDir bin;
    TempDir records;
    ScopedEnv path{"PATH", bin.path()};
    ScopedEnv display{"DISPLAY", std::nullopt};
    ScopedEnv wayland{"WAYLAND_DISPLAY", std::nullopt};
};

TEST_F(ClipboardTest, NoGraphicalSessionCannotBeOpened) {
    for (const char* tool : {"wl-copy", "xclip", "xsel"}) AddRecordingTool(bin, tool);
    EXPECT_FALSE(OpenClipboard());
}

TEST_F(ClipboardTest, SessionWithoutAnyToolCannotBeOpened) {
    ScopedEnv x("DISPLAY", ":0");
    ScopedEnv w("WAYLAND_DISPLAY", "wayland-0");
    posix_test::WriteFile(bin / "unrelated", "#!/bin/sh\n", 0755);
    EXPECT_FALSE(OpenClipboard());
}

TEST_F(ClipboardTest, ToolIsChosenBySessionAndReceivesTheTextAsUtf8) {
    struct Case {
        const char* what;
        std::optional<std::string> display, wayland;
        std::vector<std::string> tools;  // present on PATH
        std::optional<std::string> chosen;
        std::string chosenArgs;
    };
    const Case cases[] = {
        {"wayland", std::nullopt, "wayland-0", {"wl-copy", "xclip"}, "wl-copy", "--type\ntext/plain;charset=utf-8\n"},
        {"x11 prefers xclip",
         ":0",
         std::nullopt,
         {"wl-copy", "xclip", "xsel"},
         "xclip",
         "-selection\nclipboard\n-in\n"},
        {"x11 with xsel only", ":0", std::nullopt, {"xsel"}, "xsel", "--clipboard\n--input\n"},
        {"wayland without wl-copy uses X", ":0", "wayland-0", {"xclip"}, "xclip", "-selection\nclipboard\n-in\n"},
        {"wayland only, X tools unusable", std::nullopt, "wayland-0", {"xclip", "xsel"}, std::nullopt, ""},
        {"x11 without X tools", ":0", std::nullopt, {"wl-copy"}, std::nullopt, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir caseBin;
        ScopedEnv casePath("PATH", caseBin.path());
        ScopedEnv x("DISPLAY", c.display);
        ScopedEnv w("WAYLAND_DISPLAY", c.wayland);
        for (const std::string& tool : c.tools) AddRecordingTool(caseBin, tool);

        ASSERT_EQ(OpenClipboard(), c.chosen.has_value());
        if (!c.chosen) continue;
        const Clock::time_point start = Clock::now();
        PutTextOnClipboard(kText);
        // A leaked write end would keep the tool waiting for the end of its
        // input until the time limit.
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));

        EXPECT_EQ(ReadFile(input(*c.chosen)), kTextUtf8);
        EXPECT_EQ(ReadFile(args(*c.chosen)), c.chosenArgs);
        for (const std::string& tool : c.tools) {
            if (tool != *c.chosen) {
                EXPECT_FALSE(Exists(args(tool))) << tool;
            }
            std::filesystem::remove(args(tool));
            std::filesystem::remove(input(tool));
        }
    }
}

TEST_F(ClipboardTest, EmptyTextClearsTheClipboard) {
    struct Case {
        const char* tool;
        const char* display;
        const char* wayland;
        std::string clearArgs;
    };
    const Case cases[] = {
        {"wl-copy", nullptr, "wayland-0", "--clear\n"},
        {"xsel", ":0", nullptr, "--clipboard\n--clear\n"},
        {"xclip", ":0", nullptr, "-selection\nclipboard\n-in\n"},  // owns an empty selection
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tool);
        TempDir caseBin;
        ScopedEnv casePath("PATH", caseBin.path());
        ScopedEnv x("DISPLAY", c.display ? std::optional<std::string>(c.display) : std::nullopt);
        ScopedEnv w("WAYLAND_DISPLAY", c.wayland ? std::optional<std::string>(c.wayland) : std::nullopt);
        AddRecordingTool(caseBin, c.tool);

        ASSERT_TRUE(OpenClipboard());
        PutTextOnClipboard(u"");

        EXPECT_EQ(ReadFile(args(c.tool)), c.clearArgs);
        EXPECT_EQ(ReadFile(input(c.tool)), "");
    }
}

TEST_F(ClipboardTest, PuttingTextClosesTheClipboard) {
    ScopedEnv w("WAYLAND_DISPLAY", "wayland-0");
    AddRecordingTool(bin, "wl-copy");

    PutTextOnClipboard(kText);  // never opened
    EXPECT_FALSE(Exists(args("wl-copy")));

    ASSERT_TRUE(OpenClipboard());
    PutTextOnClipboard(kText);
    ASSERT_TRUE(Exists(args("wl-copy")));
    std::filesystem::remove(args("wl-copy"));

    PutTextOnClipboard(kText);  // closed again by the previous call
    EXPECT_FALSE(Exists(args("wl-copy")));
}

// A tool that dies without reading must neither hang the program nor kill
// it with SIGPIPE, even when the text is far larger than a socket buffer.
TEST_F(ClipboardTest, ToolThatDiesUnreadDoesNotHangOrKill) {
    ScopedEnv x("DISPLAY", ":0");
    posix_test::WriteFile(bin / "xclip", "#!/bin/sh\nexit 3\n", 0755);
    const std::u16string large(4 * 1024 * 1024, u'A');

    ASSERT_TRUE(OpenClipboard());
    const Clock::time_point start = Clock::now();
    PutTextOnClipboard(large);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
}

}  // namespace

#endif  // _WIN32
