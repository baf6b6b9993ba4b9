// Checks shared by the folder cases: how a run ended, and that it left no log.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>

#include "harness.h"

namespace e2e {

// On Linux a run that logged problems repeats the log's lines on standard
// error, in UTF-8 with LF and control characters escaped, then ends with one line naming their count and
// the log; `err` must be exactly that, for the log file it names.
inline void ExpectLogOnStandardError(const std::string& err) {
    ASSERT_TRUE(err.ends_with("\n")) << err;
    const std::size_t lastLine = err.size() < 2 || err.rfind('\n', err.size() - 2) == std::string::npos
                                     ? 0
                                     : err.rfind('\n', err.size() - 2) + 1;
    // A build that kept the previous summary adds "; <summary> left as it was";
    // a check names the kinds of its problems, and counts the files a copy
    // healed or not (-b) and the new files among its news; a check in
    // slices says what it covered.
    static const std::regex closing(
        "sumvane: (no problem|([0-9]+) (problem|problems)( \\([^)]*\\))?)(, ([0-9]+) repaired)?"
        "(, ([0-9]+) not repaired)?(, ([0-9]+) new files?)?; log: (.*?)(; .* left as it was|; checked [0-9,]+ of .*)?\n");
    std::smatch m;
    const std::string last = err.substr(lastLine);
    ASSERT_TRUE(std::regex_match(last, m, closing)) << err;
    const std::string lines = err.substr(0, lastLine);
    std::string fromLog = LogText(m[11].str()).value_or("<no log at " + m[11].str() + ">");
    for (std::size_t at; (at = fromLog.find("\r\n")) != std::string::npos;) fromLog.replace(at, 2, "\n");
    EXPECT_EQ(lines, TerminalText(fromLog));
    const auto count = static_cast<std::size_t>(std::count(lines.begin(), lines.end(), '\n'));
    const std::size_t problems = m[2].matched ? std::stoul(m[2].str()) : 0;
    // The news: a line for each file a copy healed, or could not, and each new file.
    std::size_t news = 0;
    for (const int group : {6, 8, 10}) news += m[group].matched ? std::stoul(m[group].str()) : 0;
    EXPECT_EQ(problems + news, count);
    if (m[2].matched) {
        EXPECT_EQ(m[3].str(), problems == 1 ? "problem" : "problems");
    }
}

// The exit code, and nothing on the console but the banner and, on Linux, the
// log's lines (Wine adds its own diagnostics on standard error, so that is
// checked on Linux only).
inline void ExpectRun(const RunResult& r, int exitCode) {
    EXPECT_EQ(r.exitCode, exitCode);
    EXPECT_EQ(r.out, Banner());
    if (WineMode()) return;
    if (exitCode == 0) {
        EXPECT_EQ(r.err, "");
    } else {
        ExpectLogOnStandardError(r.err);
    }
}

// The run wrote no log: neither under the expected name nor anywhere else on
// the desktop.
inline void ExpectNoLog(const Sandbox& box, const std::string& folderText) {
    EXPECT_FALSE(fs::exists(box.desktop() / LogName(folderText)));
    if (!WineMode() && fs::exists(box.desktop())) {
        EXPECT_TRUE(fs::is_empty(box.desktop())) << "unexpected file on the desktop";
    }
}

}  // namespace e2e
