// Runs that select no work print the banner, nothing else on standard
// output, and succeed.
#include <gtest/gtest.h>

#include <algorithm>

#include "harness.h"

using namespace e2e;

namespace {

class NoWorkTest : public ::testing::TestWithParam<std::vector<std::string>> {};

TEST_P(NoWorkTest, PrintsOnlyTheBannerAndSucceeds) {
    const bool showsHelp =
        std::all_of(GetParam().begin(), GetParam().end(), [](const std::string& a) { return a == "-h"; });
    if (WineMode() && showsHelp) {
        GTEST_SKIP() << "shows the help and waits for OK on Windows; "
                        "WindowsGuiTest.NoOptionsShowsTheHelpWindowAndWaitsForOk dismisses it";
    }
    Sandbox box;
    const RunResult r = box.Run(GetParam());
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, Banner());
}

INSTANTIATE_TEST_SUITE_P(Options, NoWorkTest,
                         ::testing::Values(std::vector<std::string>{}, std::vector<std::string>{"-r"},
                                           std::vector<std::string>{"-c"}, std::vector<std::string>{"-h"},
                                           std::vector<std::string>{"-h", "-r"}, std::vector<std::string>{"-v"},
                                           std::vector<std::string>{"-x", "-q", "-?", "-"},
                                           std::vector<std::string>{"-recursive", "-o"}));

// On Linux the last line ends like every console line, so the shell's prompt
// starts on a line of its own; the Windows banner stops at the address.
TEST(Banner, EndsWithTheWebAddress) {
    Sandbox box;
    const RunResult r = box.Run({"-r"});
    EXPECT_TRUE(r.out.ends_with(WineMode() ? "https://sumvane.brackenfold.example"
                                           : "https://sumvane.brackenfold.example\n"));
}

}  // namespace
