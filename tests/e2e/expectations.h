// Checks shared by the folder cases: how a run ended, and that it left no log.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "harness.h"

namespace e2e {

// The exit code, and nothing on the console but the banner (Wine adds its
// own diagnostics on standard error, so that is checked on Linux only).
inline void ExpectRun(const RunResult& r, int exitCode) {
    EXPECT_EQ(r.exitCode, exitCode);
    EXPECT_EQ(r.out, Banner());
    if (!WineMode()) {
        EXPECT_EQ(r.err, "");
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
