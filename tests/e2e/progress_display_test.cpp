// The progress display of the folder jobs: drawn on a terminal, never
// written anywhere else.
#include <gtest/gtest.h>

#include <algorithm>
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
    for (const std::string& drawn :
         {std::string("Building MD5 Archive File"), std::string("[----------"), std::string("  5%"),
          std::string(" 15%"), std::string(" 20%"), std::string(" 60%"), (tree / "").string(), (tree / "sub/").string(),
          std::string("2 of 2 files, 1.5 of 1.5 MB")}) {
        EXPECT_NE(r.err.find(drawn), std::string::npos) << "missing: " << drawn;
    }
    // The display is erased at the end: it clears its three lines and
    // returns the cursor to where it began, where the closing line goes.
    EXPECT_TRUE(
        r.err.ends_with("\x1b[2K\r\x1b[2Asumvane: 2 files recorded in " + Native(tree / "Sumvane.md5") + "\r\n"))
        << r.err.substr(r.err.size() > 100 ? r.err.size() - 100 : 0);

    r = box.RunOnTerminal({"-f" + Native(tree), "-r", "-v"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.err.find("Checking MD5 Archive File"), std::string::npos);
    EXPECT_NE(r.err.find("2 of 2 files, 1.5 of 1.5 MB"), std::string::npos);
    EXPECT_EQ(r.err.find("Building MD5 Archive File"), std::string::npos);
}

// Within one large file the bar and the bytes counted move with the bytes
// read, a few times a second, as the file is read.
TEST(ProgressDisplay, TheBarMovesWithinALargeFile) {
    if (WineMode()) GTEST_SKIP() << "the Windows build shows a dialog; its bar is checked by the Windows cases";
    Sandbox box;
    const fs::path tree = box.work() / "tree";
    WriteFile(tree / "big.bin", "");
    fs::resize_file(tree / "big.bin", 2ULL << 30);  // sparse: read in a few seconds
    for (const char* option : {"-c", "-v"}) {
        SCOPED_TRACE(option);
        const RunResult r = box.RunOnTerminal({"-f" + Native(tree), option}, {{"SUMVANE_THREADS", "1"}});
        EXPECT_EQ(r.exitCode, 0);
        std::vector<int> percents;
        std::vector<double> megabytes;
        const std::regex drawn(R"(\] +(\d+)%(  [\d,]+ (of [\d,]+ )?files?, ([0-9.,]+) (of [0-9.,]+ )?MB)?)");
        for (auto it = std::sregex_iterator(r.err.begin(), r.err.end(), drawn); it != std::sregex_iterator(); ++it) {
            const int percent = std::stoi((*it)[1]);
            if (percent > 20 && percent < 100 && (percents.empty() || percents.back() != percent))
                percents.push_back(percent);
            if ((*it)[4].matched) {
                std::string digits = (*it)[4];  // grouped: "2,147.5"
                digits.erase(std::remove(digits.begin(), digits.end(), ','), digits.end());
                const double mb = std::stod(digits);
                if (mb > 0 && mb < 2147.0) megabytes.push_back(mb);
            }
        }
        EXPECT_GE(percents.size(), 2u) << "the bar stood still within the file";
        EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
        EXPECT_FALSE(megabytes.empty()) << "no count of bytes within the file";
    }
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
    const std::string placed =
        "\r\x1b[2A\x1b[2K\n\x1b[2K\n\x1b[2K\r\x1b[2A"  // the display cleared
        "[stamp] " +
        Native(tree / "gone.txt") +
        " - File Not Found\n"
        "\r\x1b[2KChecking MD5 Archive File";  // and drawn again below the line
    EXPECT_NE(err.find(placed), std::string::npos) << err;
    const std::string closing =
        "sumvane: 1 problem (1 missing); log: " + (box.desktop() / LogName(Native(tree))).string() + "\n";
    EXPECT_TRUE(err.ends_with("\x1b[2K\r\x1b[2A" + closing)) << err;
    EXPECT_EQ(LogLines(box.desktop() / LogName(Native(tree))),
              std::vector<std::string>{Native(tree / "gone.txt") + " - File Not Found"});
}

// A clean run watched on a terminal ends with one line saying what it did
// (a terminal turns each line feed into CR LF).
TEST(ProgressDisplay, ACleanRunOnATerminalSaysWhatItDid) {
    if (WineMode()) GTEST_SKIP() << "the Windows build reports on standard error only what went wrong";
    Sandbox box;
    const fs::path tree = box.work() / "tree";
    WriteFile(tree / "a.txt", "a");
    WriteFile(tree / "sub" / "b.txt", "b");
    const std::string folder = "-f" + Native(tree), a = Native(tree / "a.txt"), summary = Native(tree / "Sumvane.md5");
    const struct Case {
        std::vector<std::string> args;
        std::string closing;
    } cases[] = {
        {{folder, "-r", "-c"}, "2 files recorded in " + summary},
        {{folder, "-r", "-v"}, "2 files checked, no problem"},
        {{folder, "-vc"}, "2 files checked, no problem"},
        {{folder, "-r", "-c", "-v"}, "2 files recorded in " + summary + " and checked, no problem"},
        {{"-n" + a, "-c"}, a + " recorded in " + a + ".md5"},
        {{"-n" + a, "-v"}, a + " checked, no problem"},
        // Both modes; the folder's files are now a.txt and its companion.
        {{"-n" + a, "-c", "-v", folder},
         a + " recorded in " + a + ".md5 and checked, no problem; 2 files recorded in " + summary +
             " and checked, no problem"},
    };
    for (const Case& c : cases) {
        const RunResult r = box.RunOnTerminal(c.args);
        EXPECT_EQ(r.exitCode, 0) << c.closing;
        const std::string line = "sumvane: " + c.closing + "\r\n";
        // Only the folder jobs draw the display, which is gone before the line.
        const std::string drawn = r.err.substr(0, r.err.size() >= line.size() ? r.err.size() - line.size() : 0);
        EXPECT_TRUE(r.err.ends_with(line)) << r.err;
        EXPECT_TRUE(drawn.empty() || drawn.ends_with("\x1b[2K\r\x1b[2A")) << r.err;
    }
}

// Ctrl+C during a build erases the display and says, in one line, that the
// run was interrupted and the summary left as it was.
TEST(ProgressDisplay, CtrlCErasesItAndSaysTheSummaryWasKept) {
    if (WineMode()) GTEST_SKIP() << "the Windows build shows a dialog";
    Sandbox box;
    const fs::path tree = box.work() / "tree";
    WriteFile(tree / "a.txt", "a");
    WriteFile(tree / "big.bin", "");
    fs::resize_file(tree / "big.bin", std::uintmax_t{4} << 30);  // sparse: seconds of hashing, no disk
    const std::string old = Md5Of("old") + " " + Native(tree / "old.txt") + "\r\n";
    WriteFile(tree / "Sumvane.md5", old);

    bool typed = false;
    RunOptions keys;
    keys.typing = [&](const std::string& received) {
        if (typed || received.find("Building MD5 Archive File") == std::string::npos) return std::string();
        typed = true;
        return std::string("\x03");
    };
    const RunResult r = box.RunOnTerminal({"-f" + Native(tree), "-r", "-c"}, keys);
    ASSERT_TRUE(typed) << r.err;
    EXPECT_EQ(r.exitCode, 1);
    const std::string notice = "sumvane: interrupted; " + Native(tree / "Sumvane.md5") + " left as it was\r\n";
    EXPECT_TRUE(r.err.ends_with("\x1b[2K\r\x1b[2A" + notice))
        << r.err.substr(r.err.size() > 200 ? r.err.size() - 200 : 0);
    EXPECT_EQ(ReadFile(tree / "Sumvane.md5"), old);
    EXPECT_EQ(std::distance(fs::directory_iterator(tree), fs::directory_iterator()), 3) << "a temporary file is left";
}

// Ctrl+C while a summary is checked: a check never changes the summary, so
// the notice says it was left as it was; once this run has built it, the
// summary is the run's own and the notice says only that it was interrupted.
TEST(ProgressDisplay, CtrlCWhileCheckingSaysWhatTheCheckLeavesAsItWas) {
    if (WineMode()) GTEST_SKIP() << "the Windows build shows a dialog";
    Sandbox box;
    const fs::path tree = box.work() / "tree";
    WriteFile(tree / "a.txt", "a");
    const std::string folder = "-f" + Native(tree), summary = Native(tree / "Sumvane.md5");
    ASSERT_EQ(box.Run({folder, "-c"}).exitCode, 0);
    const std::string kept = "sumvane: interrupted; " + summary + " left as it was";
    const struct Case {
        std::vector<std::string> args;
        std::string notice;
    } cases[] = {{{folder, "-v"}, kept}, {{folder, "-vc"}, kept}, {{folder, "-c", "-v"}, "sumvane: interrupted"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.back());
        RunOptions keys;
        // The check waits at opening the summary, so the key comes while it
        // is at work. A sanitized program accepts the stand-in loaded first.
        const char* asan = std::getenv("ASAN_OPTIONS");
        keys.env = {{"LD_PRELOAD", SUMVANE_AT_OPEN_LIBRARY},
                    {"SUMVANE_PAUSE_NAME", "Sumvane.md5"},
                    {"SUMVANE_PAUSE_SECONDS", "60"},
                    {"ASAN_OPTIONS", "verify_asan_link_order=0" + (asan ? ":" + std::string(asan) : std::string())}};
        bool typed = false;
        keys.typing = [&](const std::string& received) {
            if (typed || received.find("Checking MD5 Archive File") == std::string::npos) return std::string();
            typed = true;
            return std::string("\x03");
        };
        const RunResult r = box.RunOnTerminal(c.args, keys);
        ASSERT_TRUE(typed) << r.err;
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(r.err.ends_with("\x1b[2K\r\x1b[2A" + c.notice + "\r\n")) << r.err;
    }
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
