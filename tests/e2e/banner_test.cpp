// Runs that select no work print the banner, nothing else on standard
// output, and succeed; on Linux they say on standard error what they
// ignored and that there was nothing to do.
#include <gtest/gtest.h>

#include <optional>

#include "harness.h"

using namespace e2e;

namespace {

const std::string kNoTarget = "sumvane: nothing to do: no folder (-f), file (-n) or path was given\n";

struct NoWorkCase {
    const char* name;
    std::vector<std::string> args;
    std::optional<std::string> notes;  // Linux's standard error; none where the help is shown
};

class NoWorkTest : public ::testing::TestWithParam<NoWorkCase> {};

TEST_P(NoWorkTest, PrintsOnlyTheBannerAndSucceeds) {
    const NoWorkCase& c = GetParam();
    if (WineMode() && !c.notes) {
        GTEST_SKIP() << "shows the help and waits for OK on Windows; "
                        "WindowsGuiTest.NoOptionsShowsTheHelpWindowAndWaitsForOk dismisses it";
    }
    Sandbox box;
    const RunResult r = box.Run(c.args);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, Banner());
    if (WineMode()) {
        EXPECT_EQ(r.err.find("sumvane: "), std::string::npos) << "the Windows command line is silent";
    } else if (c.notes) {
        EXPECT_EQ(r.err, *c.notes);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Options, NoWorkTest,
    ::testing::Values(NoWorkCase{"NoOptions", {}, std::nullopt}, NoWorkCase{"HelpAlone", {"-h"}, std::nullopt},
                      NoWorkCase{"RecursiveAlone", {"-r"}, kNoTarget}, NoWorkCase{"CreateAlone", {"-c"}, kNoTarget},
                      NoWorkCase{"VerifyAlone", {"-v"}, kNoTarget},
                      NoWorkCase{
                          "HelpBesideAnOption",
                          {"-h", "-r"},
                          "sumvane: ignoring -h: the help is shown only when no other option is given\n" + kNoTarget},
                      NoWorkCase{"UnknownLettersAndALoneDash",
                                 {"-x", "-q", "-?", "-"},
                                 "sumvane: ignoring unknown option -q\n"
                                 "sumvane: ignoring unknown option -?\n"
                                 "sumvane: ignoring -: an option letter must follow it\n" +
                                     kNoTarget},
                      NoWorkCase{"WordForALetterAndAnEmptyOutputFolder",
                                 {"-recursive", "-o"},
                                 "sumvane: -recursive is read as -r (the rest is ignored)\n" + kNoTarget},
                      NoWorkCase{"LettersRunTogether",
                                 {"-rc"},
                                 "sumvane: -rc is read as -r (the rest is ignored); write -r -c\n" + kNoTarget},
                      NoWorkCase{"FolderWithoutCreateOrVerify",
                                 {"-fdata", "-r"},
                                 "sumvane: nothing to do: neither -c (record) nor -v (check) was given\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// On Linux the last line ends like every console line, so the shell's prompt
// starts on a line of its own; the Windows banner stops at the address.
TEST(Banner, EndsWithTheWebAddress) {
    Sandbox box;
    const RunResult r = box.Run({"-r"});
    EXPECT_TRUE(
        r.out.ends_with(WineMode() ? "https://sumvane.brackenfold.example" : "https://sumvane.brackenfold.example\n"));
}

}  // namespace
