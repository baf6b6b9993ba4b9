// Single-file mode: the 32-byte companion "<file>.md5" and its rewrite.
#include <gtest/gtest.h>

#include "expectations.h"
#include "harness.h"

using namespace e2e;

namespace {

const std::string kOld = "first contents\n";
const std::string kNew = "second contents\n";

struct SingleFileCase {
    const char* what;
    std::optional<std::string> companionBefore;  // nullopt: no companion
    std::vector<std::string> options;            // besides -n<file>
    int exitCode;
    std::optional<std::string> companionAfter;
    std::optional<std::string> rewriteAfter;  // "<file>.md5x"
    std::vector<std::string> logLines;        // "%F" stands for the file's path
    bool fileApart = false;                   // "-n" "<file>" as two arguments
};

class SingleFileTest : public ::testing::TestWithParam<SingleFileCase> {};

TEST_P(SingleFileTest, CompanionAndLog) {
    const SingleFileCase& c = GetParam();
    Sandbox box;
    const fs::path file = box.work() / "a.txt";
    WriteFile(file, kNew);
    if (c.companionBefore) WriteFile(box.work() / "a.txt.md5", *c.companionBefore);

    std::vector<std::string> args = {"-n" + Native(file)};
    if (c.fileApart) args = {"-n", Native(file)};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const RunResult r = box.Run(args);
    EXPECT_EQ(r.exitCode, c.exitCode);
    EXPECT_EQ(r.out, Banner());
    EXPECT_EQ(ReadFile(box.work() / "a.txt.md5"), c.companionAfter);
    EXPECT_EQ(ReadFile(box.work() / "a.txt.md5x"), c.rewriteAfter);
    std::vector<std::string> expected;
    for (std::string line : c.logLines) {
        if (const auto at = line.find("%F"); at != std::string::npos) line.replace(at, 2, Native(file));
        expected.push_back(line);
    }
    EXPECT_EQ(LogLines(box.desktop() / "Sumvane.txt"), expected);
}

const std::string kNewDigest = Md5Of(kNew);
// Each case writes the file before its companion, so a mismatch is never an
// edit made since the companion was written.
const std::string kUndated = " - Damaged: Date Unchanged";
const std::string kOldDigest = Md5Of(kOld);

INSTANTIATE_TEST_SUITE_P(
    Cases, SingleFileTest,
    ::testing::Values(
        SingleFileCase{"create", std::nullopt, {"-c"}, 0, kNewDigest, std::nullopt, {}},
        SingleFileCase{"create, the file apart from -n", std::nullopt, {"-c"}, 0, kNewDigest, std::nullopt, {}, true},
        SingleFileCase{"verify, the file apart from -n",
                       kOldDigest,
                       {"-v"},
                       1,
                       kOldDigest,
                       std::nullopt,
                       {"%F - MD5 Mismatch (" + kNewDigest + " - " + kOldDigest + ")" + kUndated},
                       true},
        SingleFileCase{
            "create replaces an old companion", std::string(40, 'z'), {"-c"}, 0, kNewDigest, std::nullopt, {}},
        SingleFileCase{"verify passes", kNewDigest, {"-v"}, 0, kNewDigest, std::nullopt, {}},
        SingleFileCase{"create then verify in one run", std::nullopt, {"-v", "-c"}, 0, kNewDigest, std::nullopt, {}},
        SingleFileCase{
            "verify without companion", std::nullopt, {"-v"}, 1, std::nullopt, std::nullopt, {"%F - Missing Data"}},
        SingleFileCase{"rewrite without companion writes nothing",
                       std::nullopt,
                       {"-vc"},
                       1,
                       std::nullopt,
                       std::nullopt,
                       {"%F - Missing Data"}},
        SingleFileCase{"mismatch shows the new digest first",
                       kOldDigest,
                       {"-v"},
                       1,
                       kOldDigest,
                       std::nullopt,
                       {"%F - MD5 Mismatch (" + kNewDigest + " - " + kOldDigest + ")" + kUndated}},
        SingleFileCase{"mismatch under -vc writes the rewrite",
                       kOldDigest,
                       {"-vc"},
                       1,
                       kOldDigest,
                       kNewDigest,
                       {"%F - MD5 Mismatch (" + kNewDigest + " - " + kOldDigest + ")" + kUndated}},
        SingleFileCase{"lower-case digits match", Lower(kNewDigest), {"-v"}, 0, Lower(kNewDigest), std::nullopt, {}},
        SingleFileCase{"only the first 32 bytes count",
                       kNewDigest + "\r\ntrailing",
                       {"-v"},
                       0,
                       kNewDigest + "\r\ntrailing",
                       std::nullopt,
                       {}},
        SingleFileCase{"an editor's UTF-8 mark before the digits",
                       "\xEF\xBB\xBF" + kNewDigest + "\r\n",
                       {"-v"},
                       0,
                       "\xEF\xBB\xBF" + kNewDigest + "\r\n",
                       std::nullopt,
                       {}},
        SingleFileCase{"a short companion is missing data",
                       kNewDigest.substr(0, 31),
                       {"-vc"},
                       1,
                       kNewDigest.substr(0, 31),
                       std::nullopt,
                       {"%F - Missing Data"}},
        SingleFileCase{"an empty companion is missing data",
                       std::string(),
                       {"-v"},
                       1,
                       std::string(),
                       std::nullopt,
                       {"%F - Missing Data"}},
        SingleFileCase{"stored digits stop at a zero byte",
                       std::string("ABC\0", 4) + std::string(28, 'D'),
                       {"-v"},
                       1,
                       std::string("ABC\0", 4) + std::string(28, 'D'),
                       std::nullopt,
                       {"%F - MD5 Mismatch (" + kNewDigest + " - ABC)" + kUndated}},
        SingleFileCase{"no create or verify touches nothing", kOldDigest, {}, 0, kOldDigest, std::nullopt, {}}),
    [](const auto& info) {
        std::string name;
        for (const char c : std::string(info.param.what))
            name.push_back(std::isalnum(static_cast<unsigned char>(c)) ? c : '_');
        return name;
    });

// The companion's date tells an edit made since it was written from damage.
TEST(SingleFile, AMismatchTellsDamageFromAnEditByTheCompanionsDate) {
    Sandbox box;
    const fs::path file = box.work() / "a.txt";
    WriteFile(file, kOld);
    ExpectRun(box.Run({"-n" + Native(file), "-c"}), 0);
    const WriteTime recorded = WriteTimeOf(box.work() / "a.txt.md5");
    const WriteTime before = WriteTimeOf(file);
    WriteFile(file, kNew);
    const struct {
        WriteTime written;
        std::string date;
    } cases[] = {{{recorded.seconds + 90, 0}, " - Modified " + LocalTimeText({recorded.seconds + 90, 0})},
                 {before, " - Damaged: Date Unchanged"}};
    for (const auto& c : cases) {
        SetWriteTime(file, c.written);
        ExpectRun(box.Run({"-n" + Native(file), "-v"}), 1);
        EXPECT_EQ(LogLines(box.desktop() / "Sumvane.txt"),
                  std::vector<std::string>{Native(file) + " - MD5 Mismatch (" + kNewDigest + " - " + kOldDigest + ")" +
                                           c.date});
    }
}

TEST(SingleFile, MissingFileIsLoggedAndFailsTheRun) {
    Sandbox box;
    const fs::path missing = box.work() / "missing.txt";
    const RunResult r = box.Run({"-n" + Native(missing), "-c", "-v"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, Banner());
    EXPECT_FALSE(fs::exists(box.work() / "missing.txt.md5"));
    EXPECT_EQ(LogLines(box.desktop() / "Sumvane.txt"), std::vector<std::string>{Native(missing) + " - File Not Found"});
}

TEST(SingleFile, UnwritableCompanionFailsTheRun) {
    Sandbox box;
    WriteFile(box.work() / "a.txt", kNew);
    fs::create_directories(box.work() / "a.txt.md5");  // a folder where the companion should go
    const RunResult r = box.Run({"-n" + Native(box.work() / "a.txt"), "-c"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(LogLines(box.desktop() / "Sumvane.txt"),
              std::vector<std::string>{Native(box.work() / "a.txt.md5") + " - Unable to Write to File"});
    EXPECT_TRUE(fs::is_directory(box.work() / "a.txt.md5"));
    EXPECT_EQ(std::distance(fs::directory_iterator(box.work()), fs::directory_iterator()), 2)
        << "no temporary file is left beside it";
}

// The companion's temporary file has a short name of its own: a file whose
// name leaves just room for ".md5" and ".md5x" gets both.
TEST(SingleFile, ANameOfAlmostTheLongestLengthGetsItsCompanion) {
    Sandbox box;
    const std::string name(250, 'n');
    WriteFile(box.work() / name, kNew);
    ExpectRun(box.Run({"-n" + Native(box.work() / name), "-c"}), 0);
    EXPECT_EQ(ReadFile(box.work() / (name + ".md5")), Md5Of(kNew));
    WriteFile(box.work() / name, "changed");
    EXPECT_EQ(box.Run({"-n" + Native(box.work() / name), "-vc"}).exitCode, 1);
    EXPECT_EQ(ReadFile(box.work() / (name + ".md5x")), Md5Of("changed"));
}

TEST(SingleFile, RunsBeforeTheFolderWork) {
    Sandbox box;
    const fs::path tree = box.work() / "tree";
    WriteFile(tree / "x.txt", "x");
    // The folder has no summary to verify, the single file's companion is missing.
    WriteFile(box.work() / "a.txt", kNew);
    const RunResult r = box.Run({"-f" + Native(tree), "-v", "-n" + Native(box.work() / "a.txt")});
    EXPECT_EQ(r.exitCode, 1);
    std::string logName = Native(tree);
    std::erase_if(logName, [](char c) { return c == '/' || c == '\\' || c == ':'; });
    EXPECT_EQ(LogLines(box.desktop() / (logName + ".txt")),
              (std::vector<std::string>{Native(box.work() / "a.txt") + " - Missing Data",
                                        Native(tree) + Sep() + "Sumvane.md5 - Missing Data"}));
}

}  // namespace
