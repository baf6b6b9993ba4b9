// The progress display of the folder jobs: drawn on a terminal, never
// written anywhere else.
#include <gtest/gtest.h>

#include <regex>

#include "harness.h"

using namespace e2e;

namespace {

TEST(ProgressDisplay, DrawnOnATerminalWithTitleBarAndStatus) {
    if (WineMode()) GTEST_SKIP() << "the Windows build shows a dialog; its contents are checked by the Windows cases";
    Sandbox box;
    const fs::path tree = box.work() / "tree";
    WriteFile(tree / "a.txt", std::string(1'500'000, 'a'));
    WriteFile(tree / "sub" / "b.txt", "b");

    RunResult r = box.RunOnTerminal({"-f" + Native(tree), "-r", "-c"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, Banner());
    for (const std::string& drawn : {std::string("Building MD5 Archive File"), std::string("[----------"),
                                     std::string("  5%"), std::string(" 15%"), std::string(" 20%"),
                                     std::string(" 60%"), (tree / "").string(), (tree / "sub/").string(),
                                     std::string("2 of 2 files, 1.5 of 1.5 MB")}) {
        EXPECT_NE(r.err.find(drawn), std::string::npos) << "missing: " << drawn;
    }
    // The display is erased at the end: the last thing written clears its
    // three lines and returns the cursor to where it began.
    EXPECT_TRUE(r.err.ends_with("\x1b[2K\r\x1b[2A")) << r.err.substr(r.err.size() > 40 ? r.err.size() - 40 : 0);

    r = box.RunOnTerminal({"-f" + Native(tree), "-r", "-v"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.err.find("Checking MD5 Archive File"), std::string::npos);
    EXPECT_NE(r.err.find("2 of 2 files, 1.5 of 1.5 MB"), std::string::npos);
    EXPECT_EQ(r.err.find("Building MD5 Archive File"), std::string::npos);
}

// Log lines go to standard error too; while the display is drawn there, each
// is put above it, where the next redraw cannot erase it. The closing line
// comes after the display is gone.
TEST(ProgressDisplay, LinesForStandardErrorGoAboveIt) {
    if (WineMode()) GTEST_SKIP() << "the Windows build shows a dialog";
    Sandbox box;
    const fs::path tree = box.work() / "tree";
    WriteFile(tree / "Sumvane.md5", Md5Of("x") + " " + Native(tree / "gone.txt") + "\r\n");
    const RunResult r = box.RunOnTerminal({"-f" + Native(tree), "-v"});
    EXPECT_EQ(r.exitCode, 1);
    const std::regex stamp(R"(\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\] )");
    // The terminal turns each line feed into CR LF; undone here.
    const std::string err = std::regex_replace(std::regex_replace(r.err, stamp, "[stamp] "), std::regex("\r\n"), "\n");
    const std::string placed = "\r\x1b[2A\x1b[2K\n\x1b[2K\n\x1b[2K\r\x1b[2A"  // the display cleared
                               "[stamp] " + Native(tree / "gone.txt") + " - File Not Found\n"
                               "\r\x1b[2KChecking MD5 Archive File";  // and drawn again below the line
    EXPECT_NE(err.find(placed), std::string::npos) << err;
    const std::string closing = "sumvane: 1 problem; log: " + (box.desktop() / LogName(Native(tree))).string() + "\n";
    EXPECT_TRUE(err.ends_with("\x1b[2K\r\x1b[2A" + closing)) << err;
    EXPECT_EQ(LogLines(box.desktop() / LogName(Native(tree))),
              std::vector<std::string>{Native(tree / "gone.txt") + " - File Not Found"});
}

TEST(ProgressDisplay, NothingButTheBannerReachesANonTerminal) {
    Sandbox box;
    const fs::path tree = box.work() / "tree";
    WriteFile(tree / "a.txt", "a");
    WriteFile(tree / "sub" / "b.txt", "b");
    for (const std::string job : {"-c", "-v", "-vc"}) {
        const RunResult r = box.Run({"-f" + Native(tree), "-r", job}, std::nullopt, {{"TERM", "xterm"}});
        EXPECT_EQ(r.exitCode, 0) << job;
        EXPECT_EQ(r.out, Banner()) << job;
        EXPECT_EQ(r.err, "") << job;
    }
}

}  // namespace
