// Building folder summaries (-f ... -c): which files are recorded, in which
// order and under which path bytes, and what a run leaves behind.
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "expectations.h"
#include "harness.h"
#include "tree.h"

using namespace e2e;

namespace {

// A tree with two subfolders of equal shape, so that depth-first and
// breadth-first walks differ whatever order the listing gives.
const std::vector<Recorded> kTree = {
    {"a.txt", "alpha\n", ""},     {"b.bin", std::string("\0\r\n\x1a\xff binary", 12), ""},
    {"one/c.txt", "charlie", ""}, {"one/deep/d.txt", "delta", ""},
    {"two/e.txt", "echo", ""},    {"two/deep/f.txt", "", ""},  // an empty file has a digest too
};

struct WalkCase {
    const char* name;
    std::vector<std::string> args;
    bool trailingSeparator;  // -f text ends in the separator
    std::vector<std::string> recorded;
    bool folderApart = false;  // "-f" "<folder>" as two arguments
};

void PrintTo(const WalkCase& c, std::ostream* os) { *os << c.name; }

class FolderWalkTest : public ::testing::TestWithParam<WalkCase> {};

TEST_P(FolderWalkTest, RecordsTheExpectedFilesInWalkOrder) {
    const WalkCase& c = GetParam();
    Sandbox box;
    const fs::path root = box.root() / "data";
    MakeTree(root, kTree);
    fs::create_directories(root / "empty");

    std::string rootText = Native(root);
    if (c.trailingSeparator) rootText += Sep();
    std::vector<std::string> args = {"-f" + rootText};
    if (c.folderApart) args = {"-f", rootText};
    args.insert(args.end(), c.args.begin(), c.args.end());
    args.push_back("-c");

    ExpectRun(box.Run(args), 0);
    EXPECT_EQ(ReadFile(root / "Sumvane.md5"), ExpectedSummary(rootText, root, Only(kTree, c.recorded)));
    EXPECT_FALSE(fs::exists(root / "Sumvane.md5X"));
    ExpectNoLog(box, rootText);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FolderWalkTest,
    ::testing::Values(
        WalkCase{"FlatRecordsOnlyDirectFiles", {}, false, {"a.txt", "b.bin"}},
        WalkCase{"FlatWithFinalSeparator", {}, true, {"a.txt", "b.bin"}},
        WalkCase{"RecursiveDepthFirst",
                 {"-r"},
                 false,
                 {"a.txt", "b.bin", "one/c.txt", "one/deep/d.txt", "two/e.txt", "two/deep/f.txt"}},
        WalkCase{"RecursiveWithFinalSeparator",
                 {"-r"},
                 true,
                 {"a.txt", "b.bin", "one/c.txt", "one/deep/d.txt", "two/e.txt", "two/deep/f.txt"}},
        WalkCase{"ExcludedSubtree", {"-r", "-xone"}, false, {"a.txt", "b.bin", "two/e.txt", "two/deep/f.txt"}},
        WalkCase{
            "ExclusionIgnoresLetterCase", {"-r", "-xONE"}, false, {"a.txt", "b.bin", "two/e.txt", "two/deep/f.txt"}},
        WalkCase{"NestedExclusionOnlyThatFolder",
                 {"-r", "-xtwo" + Sep() + "deep"},
                 false,
                 {"a.txt", "b.bin", "one/c.txt", "one/deep/d.txt", "two/e.txt"}},
        WalkCase{"TwoExclusions", {"-r", "-xone", "-xTwo"}, false, {"a.txt", "b.bin"}},
        WalkCase{"ExclusionIsFromTheRootNotAnyLevel",
                 {"-r", "-xdeep"},
                 false,
                 {"a.txt", "b.bin", "one/c.txt", "one/deep/d.txt", "two/e.txt", "two/deep/f.txt"}},
        // A value typed apart from its letter, as other tools take it: the
        // folder itself is recorded, not the one holding it.
        WalkCase{"FolderApartFromItsOption",
                 {"-r"},
                 false,
                 {"a.txt", "b.bin", "one/c.txt", "one/deep/d.txt", "two/e.txt", "two/deep/f.txt"},
                 true},
        WalkCase{"ExclusionsApartFromTheirOptions",
                 {"-r", "-x", "one", "-x", "two" + Sep() + "deep"},
                 false,
                 {"a.txt", "b.bin", "two/e.txt"},
                 true}),
    [](const auto& info) { return std::string(info.param.name); });

// An option ignored in whole or in part is said on Linux's standard error,
// and the run is otherwise the one it would be without it: the same
// summary, log and exit code.
struct NotedCase {
    const char* name;
    std::vector<std::string> args;      // after -f<folder>
    std::vector<std::string> recorded;  // the summary written (none when empty)
    std::string notes;                  // Linux's standard error, before any log line
    bool verifyAfterChange = false;     // built first, then a.txt changed: one mismatch, exit code 1
};

class NotedOptionTest : public ::testing::TestWithParam<NotedCase> {};

TEST_P(NotedOptionTest, SaysWhatItIgnoredAndOtherwiseRunsAsWithout) {
    const NotedCase& c = GetParam();
    Sandbox box;
    const fs::path root = box.root() / "data";
    MakeTree(root, kTree);
    const std::string rootText = Native(root);
    if (c.verifyAfterChange) {
        ExpectRun(box.Run({"-f" + rootText, "-r", "-c"}), 0);
        WriteFile(root / "a.txt", "changed");
    }
    const std::optional<std::string> summaryBefore = ReadFile(root / "Sumvane.md5");
    std::vector<std::string> args = {"-f" + rootText};
    args.insert(args.end(), c.args.begin(), c.args.end());

    const RunResult r = box.Run(args);
    EXPECT_EQ(r.exitCode, c.verifyAfterChange ? 1 : 0);
    EXPECT_EQ(r.out, Banner());
    if (c.verifyAfterChange) {
        EXPECT_EQ(ReadFile(root / "Sumvane.md5"), summaryBefore);
        EXPECT_EQ(LogLines(box.desktop() / LogName(rootText)),
                  std::vector<std::string>{Spelled(rootText, kTree[0]) + " - MD5 Mismatch (" + Md5Of(kTree[0].content) +
                                           " - " + Md5Of("changed") + ")" +
                                           MismatchDate(root / "a.txt", root / "Sumvane.md5")});
    } else {
        EXPECT_EQ(ReadFile(root / "Sumvane.md5"),
                  c.recorded.empty() ? std::nullopt
                                     : std::optional(ExpectedSummary(rootText, root, Only(kTree, c.recorded))));
        ExpectNoLog(box, rootText);
    }
    if (WineMode()) {
        EXPECT_EQ(r.err.find("sumvane: "), std::string::npos) << "the Windows command line is silent";
        return;
    }
    ASSERT_TRUE(r.err.starts_with(c.notes)) << r.err;
    if (c.verifyAfterChange) {
        ExpectLogOnStandardError(r.err.substr(c.notes.size()));
    } else {
        EXPECT_EQ(r.err, c.notes);
    }
}

const std::vector<std::string> kAll = {"a.txt", "b.bin", "one/c.txt", "one/deep/d.txt", "two/e.txt", "two/deep/f.txt"};

INSTANTIATE_TEST_SUITE_P(
    Cases, NotedOptionTest,
    ::testing::Values(
        NotedCase{"UnknownLetter", {"-r", "-q", "-c"}, kAll, "sumvane: ignoring unknown option -q\n"},
        NotedCase{
            "WordForALetter", {"-recursive", "-c"}, kAll, "sumvane: -recursive is read as -r (the rest is ignored)\n"},
        NotedCase{
            "LoneDash", {"-", "-c"}, {"a.txt", "b.bin"}, "sumvane: ignoring -: an option letter must follow it\n"},
        NotedCase{"LettersRunTogether",
                  {"-rc"},
                  {},
                  "sumvane: -rc is read as -r (the rest is ignored); write -r -c\n"
                  "sumvane: nothing to do: neither -c (record) nor -v (check) was given\n"},
        NotedCase{"VerifyWithALetterAfterIt", {"-vx"}, {}, "sumvane: -vx is read as -v (the rest is ignored)\n", true},
        NotedCase{"ExclusionWithFinalSeparatorExcludesNothing",
                  {"-r", "-xone" + Sep(), "-c"},
                  kAll,
                  "sumvane: -xone" + Sep() + " leaves nothing out: name the folder without a separator at its end\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FolderBuild, CreateThenVerifyInOneRunChecksTheNewSummary) {
    Sandbox box;
    const fs::path root = box.root() / "data";
    MakeTree(root, kTree);
    // Read as it stands, this would give an invalid line.
    WriteFile(root / "Sumvane.md5", "stale\r\n");
    const std::string rootText = Native(root);

    ExpectRun(box.Run({"-f" + rootText, "-r", "-c", "-v"}), 0);
    EXPECT_EQ(ReadFile(root / "Sumvane.md5"), ExpectedSummary(rootText, root, kTree));
    EXPECT_FALSE(fs::exists(root / "Sumvane.md5X"));
    ExpectNoLog(box, rootText);
}

TEST(FolderBuild, DotFoldersAreNotEnteredButDotFilesAreRecorded) {
    Sandbox box;
    const fs::path root = box.root() / "data";
    const std::vector<Recorded> tree = {
        {".hidden", "dot file", ""},
        {"keep/.profile", "nested dot file", ""},
        {"keep/x.txt", "x", ""},
        {".git/config", "not recorded", ""},
        {".cache/sub/y.txt", "not recorded either", ""},
        {"keep/.svn/z.txt", "nor this", ""},
    };
    MakeTree(root, tree);
    const std::string rootText = Native(root);

    ExpectRun(box.Run({"-f" + rootText, "-c", "-r"}), 0);
    EXPECT_EQ(ReadFile(root / "Sumvane.md5"),
              ExpectedSummary(rootText, root, Only(tree, {".hidden", "keep/.profile", "keep/x.txt"})));
    ExpectNoLog(box, rootText);
}

// Neither summary is a file of the tree, in any folder. Temporary files are
// made beside the summary alone, so only there is one left out: what a
// killed run left (nothing yet, or the lines it had written, the last one
// perhaps cut), which is removed. A file that merely has such a name, in the
// root or anywhere else, is someone's own and is recorded.
TEST(FolderBuild, SummariesAndWhatAKilledRunLeftAreSkippedAndOtherFilesRecorded) {
    Sandbox box;
    const fs::path root = box.root() / "data";
    const std::string rootText = Native(root);
    const std::string line = Md5Of("a") + " " + rootText + Sep() + "a.txt\r\n";
    // Entries of the record of each file's date: a size and a date (one
    // before 1970), and none recorded; then the record's end.
    const std::string entries = std::string("\x07\0\0\0\0\0\0\0\0\x10\x20\x30\x40\x50\x3F\0", 16) +
                                std::string("\x01\0\0\0\0\0\0\0\0\0\0\0\0\0\xF0\xFF", 16) + std::string(16, '\xFF');
    const std::string recordEnd = std::string("\x03\0\0\0\0\0\0\0", 8) + "fingerprSVDATES1";
    const std::vector<Recorded> tree = {
        {"Sumvane.md5", "stale summary of an earlier run\r\n", ""},
        {"Sumvane.md5X", "leftover rewrite\r\n", ""},
        {".sumvane-Ab3dEf12.tmp", line + line + line.substr(0, 40), ""},
        {".sumvane-00000000.tmp", "", ""},
        {"Sumvane.md5.tmp-Ab3dEf12", line, ""},
        {"Sumvane.md5X.tmp-00000000", line.substr(0, 32), ""},
        // A check in slices killed as it put its place in.
        {".sumvane-Place123.tmp",
         "Sumvane: where the check in slices goes on\r\nentries 1\r\nfingerprint 0123456789ABCDEF\r\nnext 1\r\n"
         "last full round none\r\n",
         ""},
        {".sumvane-NotPlace.tmp", "Sumvane: where the check in slices goes on\r\nmy own notes\r\n", ""},
        // A run killed as it wrote the record beside the summary, or just
        // before it put it in place.
        {".sumvane-Dates001.tmp", entries, ""},
        {".sumvane-Dates002.tmp", entries + recordEnd, ""},
        {".sumvane-Notes016.tmp", "sixteen letters!", ""},
        {".sumvane-Notes032.tmp", "thirty-two letters of my own....", ""},
        {".sumvane-MyNotes1.tmp", "my own notes", ""},
        {".sumvane-MyList01.tmp", line + "a line of my own\r\n", ""},
        {"Sumvane.md5.tmp-short", "not ours: the name does not fit", ""},
        {".sumvane-short.tmp", "not ours either", ""},
        {"a.txt", "a", ""},
        {"sub/Sumvane.md5", "a summary of the subfolder\r\n", ""},
        {"sub/sumvane.md5.TMP-zzzzzzzz", "the subfolder's own", ""},
        {"sub/.sumvane-zzzzzzzz.tmp", "", ""},
        {"sub/b.txt", "b", ""},
        {"other/SUMVANE.MD5", "upper-case name\r\n", ""},
        {"other/sumvane.md5x", "lower-case rewrite name\r\n", ""},
    };
    MakeTree(root, tree);

    ExpectRun(box.Run({"-f" + rootText, "-c", "-r"}), 0);
    const std::vector<std::string> recorded = {".sumvane-MyNotes1.tmp",
                                               ".sumvane-MyList01.tmp",
                                               ".sumvane-NotPlace.tmp",
                                               ".sumvane-Notes016.tmp",
                                               ".sumvane-Notes032.tmp",
                                               ".sumvane-short.tmp",
                                               "Sumvane.md5.tmp-short",
                                               "a.txt",
                                               "sub/sumvane.md5.TMP-zzzzzzzz",
                                               "sub/.sumvane-zzzzzzzz.tmp",
                                               "sub/b.txt"};
    EXPECT_EQ(ReadFile(root / "Sumvane.md5"), ExpectedSummary(rootText, root, Only(tree, recorded)));
    for (const char* leftover :
         {".sumvane-Ab3dEf12.tmp", ".sumvane-00000000.tmp", "Sumvane.md5.tmp-Ab3dEf12", "Sumvane.md5X.tmp-00000000",
          ".sumvane-Place123.tmp", ".sumvane-Dates001.tmp", ".sumvane-Dates002.tmp"})
        EXPECT_FALSE(fs::exists(root / leftover)) << leftover;
    // Whatever was recorded, and the subfolders' own summaries, are left as they were.
    for (const Recorded& file : Only(tree, recorded)) EXPECT_EQ(ReadFile(root / file.rel), file.content) << file.rel;
    EXPECT_EQ(ReadFile(root / "sub" / "Sumvane.md5"), "a summary of the subfolder\r\n");
    EXPECT_EQ(ReadFile(root / "other" / "SUMVANE.MD5"), "upper-case name\r\n");
    ExpectNoLog(box, rootText);
}

struct NothingCase {
    const char* name;
    bool rootExists;
    bool oldSummary;
};

void PrintTo(const NothingCase& c, std::ostream* os) { *os << c.name; }

class NothingToRecordTest : public ::testing::TestWithParam<NothingCase> {};

TEST_P(NothingToRecordTest, WritesNoSummaryAndNoLogAndSucceeds) {
    const NothingCase& c = GetParam();
    Sandbox box;
    const fs::path root = box.root() / "data";
    const std::string old = "0123456789ABCDEF0123456789ABCDEF old entry\r\n";
    if (c.rootExists) {
        fs::create_directories(root / "empty" / "emptier");
        fs::create_directories(root / ".git");
        WriteFile(root / ".git" / "ignored", "inside a dot folder");
    }
    if (c.oldSummary) WriteFile(root / "Sumvane.md5", old);
    const std::string rootText = Native(root);

    ExpectRun(box.Run({"-f" + rootText, "-c", "-r"}), 0);
    if (c.oldSummary) {
        EXPECT_EQ(ReadFile(root / "Sumvane.md5"), old);
    } else {
        EXPECT_FALSE(fs::exists(root / "Sumvane.md5"));
    }
    EXPECT_EQ(fs::exists(root), c.rootExists || c.oldSummary);
    ExpectNoLog(box, rootText);
}

INSTANTIATE_TEST_SUITE_P(Cases, NothingToRecordTest,
                         ::testing::Values(NothingCase{"EmptyTree", true, false},
                                           NothingCase{"EmptyTreeKeepsOldSummary", true, true},
                                           NothingCase{"OnlyAnOldSummary", false, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FolderBuild, RelativeFolderRecordsRelativePathsThatVerifyFromTheSameFolder) {
    Sandbox box;
    const fs::path root = box.work() / "data";
    const std::vector<Recorded> tree = {{"a.txt", "a", ""}, {"sub/b.txt", "b", ""}};
    MakeTree(root, tree);

    ExpectRun(box.Run({"-fdata", "-c", "-r"}), 0);
    EXPECT_EQ(ReadFile(root / "Sumvane.md5"), ExpectedSummary("data", root, tree));
    ExpectNoLog(box, "data");

    ExpectRun(box.Run({"-fdata", "-v"}), 0);
    ExpectNoLog(box, "data");

    WriteFile(root / "sub" / "b.txt", "changed");
    ExpectRun(box.Run({"-fdata", "-v"}), 1);
    const std::string bPath = "data" + Sep() + "sub" + Sep() + "b.txt";
    EXPECT_EQ(LogLines(box.desktop() / "data.txt"),
              std::vector<std::string>{bPath + " - MD5 Mismatch (" + Md5Of("b") + " - " + Md5Of("changed") + ")" +
                                       MismatchDate(root / "sub" / "b.txt", root / "Sumvane.md5")});
}

// On a terminal, a build of a relative folder says that its paths are
// relative and how to give the folder instead; the summary is the same. A
// run that is not on one says nothing (the case above).
TEST(FolderBuild, ABuildOfARelativeFolderOnATerminalSaysSo) {
    if (WineMode()) GTEST_SKIP() << "a Linux terminal";
    const std::string note =
        "sumvane: the paths are recorded relative to the current folder, and a check from any "
        "other folder will not find the files; to check from anywhere, give -f";
    const struct Case {
        std::vector<std::string> args;  // "%A" stands for the absolute path of work()/data
        std::string folderText;         // as the summary records it; "%A" as above
        bool noted;
    } cases[] = {
        {{"-fdata", "-r", "-c"}, "data", true},
        {{"-f", "data", "-c", "-r"}, "data", true},
        {{"-f%A", "-r", "-c"}, "%A", false},
        {{"-fdata", "-v"}, "", false},  // a check, not a build
    };
    for (const Case& c : cases) {
        Sandbox box;
        const fs::path root = box.work() / "data";
        MakeTree(root, kTree);
        const auto expand = [&](std::string text) {
            if (const auto at = text.find("%A"); at != std::string::npos) text.replace(at, 2, root.string());
            return text;
        };
        std::vector<std::string> args;
        for (const std::string& arg : c.args) args.push_back(expand(arg));
        SCOPED_TRACE(args[0] + " " + args[1]);

        const RunResult r = box.RunOnTerminal(args);
        if (c.noted) {
            EXPECT_EQ(r.exitCode, 0);
            EXPECT_TRUE(r.err.starts_with(note + root.string() + "\r\n")) << r.err;
        } else {
            EXPECT_EQ(r.err.find(note), std::string::npos) << r.err;
        }
        if (!c.folderText.empty()) {
            EXPECT_EQ(ReadFile(root / "Sumvane.md5"), ExpectedSummary(expand(c.folderText), root, kTree));
        }
    }
    // The current folder itself, given as an empty -f.
    Sandbox box;
    MakeTree(box.work(), kTree);
    const RunResult r = box.RunOnTerminal({"-f", "-r", "-c"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.err.starts_with(note + box.work().string() + "\r\n")) << r.err;
    EXPECT_EQ(ReadFile(box.work() / "Sumvane.md5"), ExpectedSummary("", box.work(), kTree));
}

TEST(FolderBuild, EmptyFolderMeansTheCurrentDirectory) {
    Sandbox box;
    const std::vector<Recorded> tree = {{"a.txt", "a", ""}, {"sub/b.txt", "b", ""}};
    MakeTree(box.work(), tree);

    ExpectRun(box.Run({"-f", "-c", "-r"}), 0);
    EXPECT_EQ(ReadFile(box.work() / "Sumvane.md5"), ExpectedSummary("", box.work(), tree));
    ExpectNoLog(box, "");

    WriteFile(box.work() / "a.txt", "changed");
    ExpectRun(box.Run({"-f", "-v"}), 1);
    EXPECT_EQ(LogLines(box.desktop() / "Sumvane.txt"),
              std::vector<std::string>{"a.txt - MD5 Mismatch (" + Md5Of("a") + " - " + Md5Of("changed") + ")" +
                                       MismatchDate(box.work() / "a.txt", box.work() / "Sumvane.md5")});
}

TEST(FolderBuild, NamesAboveLatin1AreUtf8AndLatin1NamesOneByteEach) {
    Sandbox box;
    const fs::path root = box.root() / "data";
    const std::vector<Recorded> tree = {
        {"данные.txt", "cyrillic", ""},
        {"数据.txt", "cjk", ""},
        {"café.txt", "latin-1", "caf\xE9.txt"},
        {"dossier é/naïve.txt", "latin-1 folder", "dossier \xE9/na\xEFve.txt"},
        {"папка/файл.txt", "cyrillic folder", ""},
        // Latin-1 beside characters above U+00FF: the whole path is UTF-8.
        {"Főtanúsítvány.crt", "certificate", ""},
        {"Łódź.txt", "city", ""},
        {"dossier é/Ωmega.txt", "latin-1 folder, greek name", ""},
    };
    MakeTree(root, tree);
    const std::string rootText = Native(root);

    ExpectRun(box.Run({"-f" + rootText, "-c", "-r"}), 0);
    EXPECT_EQ(ReadFile(root / "Sumvane.md5"), ExpectedSummary(rootText, root, tree));
    ExpectNoLog(box, rootText);

    ExpectRun(box.Run({"-f" + rootText, "-v"}), 0);
    ExpectNoLog(box, rootText);
}

TEST(FolderBuild, LinkedFoldersAreNotEnteredAndLinkedFilesAreHashed) {
    if (WineMode()) GTEST_SKIP() << "symbolic links made on the Linux side are not links to a Windows program";
    Sandbox box;
    const fs::path root = box.root() / "data";
    const std::vector<Recorded> files = {
        {"a.txt", "a", ""},
        {"sub/b.txt", "b", ""},
    };
    MakeTree(root, files);
    fs::create_directory_symlink("..", root / "sub" / "loop");   // leads back to the root
    fs::create_directory_symlink(root / "sub", root / "alias");  // a second way into sub
    fs::create_symlink("sub/b.txt", root / "link.txt");          // a file reached by a link
    std::vector<Recorded> expected = files;
    expected.push_back({"link.txt", "b", ""});
    const std::string rootText = Native(root);

    ExpectRun(box.Run({"-f" + rootText, "-c", "-r"}), 0);
    EXPECT_EQ(ReadFile(root / "Sumvane.md5"), ExpectedSummary(rootText, root, expected));
    ExpectNoLog(box, rootText);

    ExpectRun(box.Run({"-f" + rootText, "-v"}), 0);
    ExpectNoLog(box, rootText);

    // A link whose target is gone (on a disk not mounted, say) is worth a
    // line to a build and to a check that walks the folder alike; neither
    // records it.
    fs::create_symlink("/nonexistent/disk/photo.jpg", root / "unmounted.jpg");
    const std::vector<std::string> dangling = {Native(root / "unmounted.jpg") + " - File Not Found"};
    for (const std::vector<std::string>& args : {std::vector<std::string>{"-c"}, {"-av"}}) {
        SCOPED_TRACE(args[0]);
        std::vector<std::string> line = {"-f" + rootText, "-r"};
        line.insert(line.end(), args.begin(), args.end());
        ExpectRun(box.Run(line), 1);
        EXPECT_EQ(LogLines(box.desktop() / LogName(rootText)), dangling);
        EXPECT_EQ(ReadFile(root / "Sumvane.md5"), ExpectedSummary(rootText, root, expected));
        EXPECT_FALSE(fs::exists(root / "Sumvane.md5X"));
    }
}

TEST(FolderBuild, FifoIsReportedUnreadableWithoutBlocking) {
    if (WineMode()) GTEST_SKIP() << "a FIFO is a Linux file system object";
    Sandbox box;
    const fs::path root = box.root() / "data";
    const std::vector<Recorded> files = {{"a.txt", "a", ""}, {"z.txt", "z", ""}};
    MakeTree(root, files);
    ASSERT_EQ(::mkfifo((root / "pipe").c_str(), 0644), 0);
    const std::string rootText = Native(root);

    ExpectRun(box.Run({"-f" + rootText, "-c"}), 1);
    EXPECT_EQ(ReadFile(root / "Sumvane.md5"), ExpectedSummary(rootText, root, files));
    EXPECT_EQ(LogLines(box.desktop() / LogName(rootText)),
              std::vector<std::string>{Native(root / "pipe") + " - Error computing MD5"});
}

// A folder that cannot be listed is never taken for an empty one: a backup
// disk that failed to mount must not pass for an empty archive.
TEST(FolderBuild, AMissingRootIsReported) {
    Sandbox box;
    const fs::path root = box.root() / "not-mounted";
    const std::string rootText = Native(root);
    ExpectRun(box.Run({"-f" + rootText, "-c", "-r"}), 1);
    EXPECT_FALSE(fs::exists(root));
    EXPECT_EQ(LogLines(box.desktop() / LogName(rootText)),
              std::vector<std::string>{rootText + Sep() + " - Unable to Read Folder"});
}

// What the user running the program may not read is reported, never
// skipped: a file it cannot open is an error, not a missing file, and a
// folder it cannot list is named.
TEST(FolderBuild, UnreadableFilesAndFoldersAreReported) {
    if (WineMode()) GTEST_SKIP() << "POSIX permissions";
    Sandbox box;
    if (const std::string why = box.unprivilegedUnavailable(); !why.empty()) GTEST_SKIP() << why;
    const fs::path root = box.root() / "data";
    const std::vector<Recorded> tree = {
        {"a.txt", "a", ""}, {"secret.txt", "s", ""}, {"locked/c.txt", "c", ""}, {"open/d.txt", "d", ""}};
    MakeTree(root, tree);
    if (::geteuid() == 0) GiveToUnprivileged(box.root());
    fs::permissions(root / "secret.txt", fs::perms::none);
    fs::permissions(root / "locked", fs::perms::none);
    const std::string rootText = Native(root);
    RunOptions asUser;
    asUser.unprivileged = true;

    ExpectRun(box.Run({"-f" + rootText, "-c", "-r"}, asUser), 1);
    const std::string first = ExpectedSummary(rootText, root, Only(tree, {"a.txt", "open/d.txt"}));
    EXPECT_EQ(ReadFile(root / "Sumvane.md5"), first);
    EXPECT_EQ(LogLines(box.desktop() / LogName(rootText)),
              (std::vector<std::string>{rootText + "/secret.txt - Error computing MD5",
                                        rootText + "/locked/ - Unable to Read Folder"}));

    // Built again while they still cannot be read: the summary holds the
    // only record of their good digests, so it stays as it was.
    WriteFile(root / "a.txt", "changed");
    const RunResult again = box.Run({"-f" + rootText, "-c", "-r"}, asUser);
    ExpectRun(again, 1);
    EXPECT_EQ(ReadFile(root / "Sumvane.md5"), first);
    EXPECT_TRUE(again.err.ends_with("; " + rootText + "/Sumvane.md5 left as it was\n")) << again.err;
    WriteFile(root / "a.txt", "a");

    // Listed files behind the same walls, when verified. A rewrite keeps
    // them with their recorded digests: taken for the summary, it checks them
    // again next time instead of dropping them.
    const std::string listed =
        Md5Of("s") + " " + rootText + "/secret.txt\r\n" + Md5Of("c") + " " + rootText + "/locked/c.txt\r\n";
    WriteFile(root / "Sumvane.md5", listed);
    ExpectRun(box.Run({"-f" + rootText, "-vc"}, asUser), 1);
    EXPECT_EQ(LogLines(box.desktop() / LogName(rootText)),
              (std::vector<std::string>{rootText + "/secret.txt - Error computing MD5",
                                        rootText + "/locked/c.txt - Error computing MD5"}));
    EXPECT_EQ(ReadFile(root / "Sumvane.md5X"), listed);
}

// A summary line ends at a line break, so a name holding one cannot be
// recorded: it is reported (shown with \r and \n, keeping the log line one
// line) and the run fails, instead of writing a line that reads back wrong.
TEST(FolderBuild, NamesWithLineBreaksAreReportedNotRecorded) {
    if (WineMode()) GTEST_SKIP() << "line breaks in names are possible on Linux only";
    Sandbox box;
    const fs::path root = box.root() / "data";
    const std::vector<Recorded> tree = {
        {"a.txt", "a", ""}, {"line\nbreak.txt", "n", ""}, {"carriage\rreturn", "r", ""}};
    MakeTree(root, tree);
    const std::string rootText = Native(root);

    ExpectRun(box.Run({"-f" + rootText, "-c"}), 1);
    EXPECT_EQ(ReadFile(root / "Sumvane.md5"), ExpectedSummary(rootText, root, Only(tree, {"a.txt"})));
    std::vector<std::string> logged = LogLines(box.desktop() / LogName(rootText));
    std::sort(logged.begin(), logged.end());
    EXPECT_EQ(logged, (std::vector<std::string>{rootText + "/carriage\\rreturn - Unable to Write to File",
                                                rootText + "/line\\nbreak.txt - Unable to Write to File"}));
    ExpectRun(box.Run({"-f" + rootText, "-v"}), 0);  // what was recorded reads back
}

// Removes a tree deeper than the system's path limit, one folder at a time.
void RemoveDeep(int parent, const char* name) {
    const int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
    if (fd >= 0) {
        DIR* dir = ::fdopendir(fd);
        std::vector<std::string> names;
        while (const dirent* entry = ::readdir(dir)) {
            if (std::string(entry->d_name) != "." && std::string(entry->d_name) != "..") names.push_back(entry->d_name);
        }
        for (const std::string& child : names) {
            if (::unlinkat(::dirfd(dir), child.c_str(), 0) != 0) RemoveDeep(::dirfd(dir), child.c_str());
        }
        ::closedir(dir);
    }
    ::unlinkat(parent, name, AT_REMOVEDIR);
}

// No depth of tree is cut off by the number of files a process may hold
// open, and a folder whose path is longer than the system allows is named.
TEST(FolderBuild, DeepTreesAreWalkedWhole) {
    if (WineMode()) GTEST_SKIP() << "Linux limits; long Windows paths are a Windows case";
    Sandbox box;
    const fs::path root = box.root() / "data";
    fs::create_directories(root);
    const std::string rootText = Native(root);
    const std::string name(200, 'n');  // 23 levels of these pass the 4096-byte path limit
    int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY);
    std::string path = rootText;
    std::string deepest;
    std::vector<Recorded> reachable = {{"top.txt", "top", ""}};
    WriteFile(root / "top.txt", "top");
    for (int level = 1; level <= 23; ++level) {
        ASSERT_EQ(::mkdirat(fd, name.c_str(), 0755), 0);
        const int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = next;
        path += "/" + name;
        const int file = ::openat(fd, "f.txt", O_WRONLY | O_CREAT, 0644);
        ASSERT_EQ(::write(file, "f", 1), 1);
        ::close(file);
        deepest = path + "/f.txt";
        if (level <= 2) {
            std::string rel;
            for (int k = 0; k < level; ++k) rel += name + "/";
            reachable.push_back({rel + "f.txt", "f", ""});
        }
    }
    ::close(fd);
    ASSERT_GT(deepest.size(), 4096u);

    // Each folder is opened from the one above it, so the system's limit on
    // a path's length does not apply, nor does a limit on open files that
    // is smaller than the depth.
    RunOptions fewFiles;
    fewFiles.limits = {{RLIMIT_NOFILE, 16}};
    ExpectRun(box.Run({"-f" + rootText, "-c", "-r"}, fewFiles), 0);
    ExpectNoLog(box, rootText);
    const std::string summary = ReadFile(root / "Sumvane.md5").value_or("");
    EXPECT_EQ(std::count(summary.begin(), summary.end(), '\n'), 1 + 23) << "every file, the deepest included";
    EXPECT_TRUE(summary.starts_with(ExpectedSummary(rootText, root, reachable))) << summary.substr(0, 600);
    EXPECT_TRUE(summary.ends_with(Md5Of("f") + " " + deepest + "\r\n"));
    ExpectRun(box.Run({"-f" + rootText, "-v"}, fewFiles), 0);

    // A change that deep is found too.
    const int top = ::open(root.c_str(), O_RDONLY | O_DIRECTORY);
    int at = top;
    for (int level = 1; level <= 23; ++level) {
        const int next = ::openat(at, name.c_str(), O_RDONLY | O_DIRECTORY);
        if (at != top) ::close(at);
        at = next;
    }
    const int file = ::openat(at, "f.txt", O_WRONLY | O_TRUNC);
    ASSERT_EQ(::write(file, "g", 1), 1);
    struct stat written {};
    ASSERT_EQ(::fstat(file, &written), 0);
    ::close(file);
    ::close(at);
    ExpectRun(box.Run({"-f" + rootText, "-v"}, fewFiles), 1);
    EXPECT_EQ(LogLines(box.desktop() / LogName(rootText)),
              std::vector<std::string>{
                  deepest + " - MD5 Mismatch (" + Md5Of("f") + " - " + Md5Of("g") + ")" +
                  MismatchDate({written.st_mtim.tv_sec, written.st_mtim.tv_nsec}, WriteTimeOf(root / "Sumvane.md5"))});
    RemoveDeep(top, name.c_str());
    ::close(top);
}

// Where the summary cannot go, the summary is reported once, the run fails,
// and nothing half-written is left.
TEST(FolderBuild, UnwritableSummaryIsReportedAndLeavesNothingBehind) {
    Sandbox box;
    const fs::path root = box.root() / "data";
    const std::vector<Recorded> files = {{"a.txt", "a", ""}, {"b.txt", "b", ""}, {"sub/c.txt", "c", ""}};
    MakeTree(root, files);
    const std::string rootText = Native(root);
    const std::string summaryLine = rootText + Sep() + "Sumvane.md5 - Unable to Write to File";

    // A folder in its place: the lines are written, but they cannot replace it.
    fs::create_directory(root / "Sumvane.md5");
    ExpectRun(box.Run({"-f" + rootText, "-c", "-r"}), 1);
    EXPECT_EQ(LogLines(box.desktop() / LogName(rootText)), std::vector<std::string>{summaryLine});
    EXPECT_TRUE(fs::is_directory(root / "Sumvane.md5"));
    EXPECT_EQ(std::distance(fs::directory_iterator(root), fs::directory_iterator()), 4);
    fs::remove(root / "Sumvane.md5");

    // A folder the user may not write to: no line can be written at all.
    if (WineMode()) return;
    if (const std::string why = box.unprivilegedUnavailable(); !why.empty()) GTEST_SKIP() << why;
    if (::geteuid() == 0) GiveToUnprivileged(box.root());
    fs::permissions(root, fs::perms::owner_write, fs::perm_options::remove);
    RunOptions asUser;
    asUser.unprivileged = true;
    ExpectRun(box.Run({"-f" + rootText, "-c", "-r"}, asUser), 1);
    EXPECT_EQ(LogLines(box.desktop() / LogName(rootText)), std::vector<std::string>{summaryLine});
    EXPECT_FALSE(fs::exists(root / "Sumvane.md5"));
    EXPECT_EQ(std::distance(fs::directory_iterator(root), fs::directory_iterator()), 3);
}

}  // namespace

// The hashing threads never change a byte the program writes: the summary,
// the rewrite and every log line come in list order however many threads
// hashed the files, and whichever MD5 lanes did it (a forced engine the
// processor lacks gives way to one it has), with files of every size,
// unreadable and missing ones, an unreadable folder and a name that cannot
// be recorded among them.
TEST(FolderBuild, AnyNumberOfThreadsWritesTheSameBytes) {
    Sandbox box;
    const fs::path root = box.root() / "data";
    std::vector<Recorded> tree;
    for (int i = 0; i < 240; ++i) {
        const std::size_t size = i % 40 == 0 ? (std::size_t{3} << 20) + i : i % 9 == 0 ? (300u << 10) + i : i * 37u;
        tree.push_back({"d" + std::to_string(i % 6) + "/f" + std::to_string(i),
                        std::string(size, static_cast<char>('a' + i % 26)), ""});
    }
    const bool posix = !WineMode();
    if (posix) {
        if (const std::string why = box.unprivilegedUnavailable(); !why.empty()) GTEST_SKIP() << why;
        tree.push_back({"d1/line\nbreak", "n", ""});
    }
    MakeTree(root, tree);
    const std::string rootText = Native(root);
    RunOptions options;
    if (posix) {
        if (::geteuid() == 0) GiveToUnprivileged(box.root());
        fs::permissions(root / "d2" / "f14", fs::perms::none);
        fs::permissions(root / "d3", fs::perms::none);
        options.unprivileged = true;
    }
    const fs::path log = box.desktop() / LogName(rootText);

    // What the program writes with `threads` threads: the summary and the log
    // of a build; the rewrite and the log of a verification after changes.
    const auto runWith = [&](const std::string& threads, const std::string& engine) {
        options.env["SUMVANE_THREADS"] = threads;
        options.env["SUMVANE_MD5"] = engine;
        std::vector<std::string> written;
        fs::remove(root / "Sumvane.md5");
        EXPECT_EQ(box.Run({"-f" + rootText, "-r", "-c"}, options).exitCode, posix ? 1 : 0);
        written.push_back(ReadFile(root / "Sumvane.md5").value_or("(none)"));
        for (const std::string& line : LogLines(log)) written.push_back(line);
        fs::rename(root / "d0" / "f6", root / "d0" / "moved");
        // Changed behind its date's back: the same line whenever it is run.
        const WriteTime before = WriteTimeOf(root / "d4" / "f40");
        WriteFile(root / "d4" / "f40", "changed");
        SetWriteTime(root / "d4" / "f40", before);
        EXPECT_EQ(box.Run({"-f" + rootText, "-vc"}, options).exitCode, 1);
        written.push_back(ReadFile(root / "Sumvane.md5X").value_or("(none)"));
        for (const std::string& line : LogLines(log)) written.push_back(line);
        fs::rename(root / "d0" / "moved", root / "d0" / "f6");
        WriteFile(root / "d4" / "f40", tree[40].content);
        return written;
    };
    const std::vector<std::string> sequential = runWith("1", "openssl");
    // Not trivially equal: a summary line per readable file, and the log
    // lines of each kind of problem.
    ASSERT_GE(sequential.size(), 4u);
    EXPECT_EQ(std::count(sequential[0].begin(), sequential[0].end(), '\n'), posix ? 240 - 40 - 1 : 240);
    for (const auto& [threads, engine] : {std::pair{"2", "openssl"},
                                          {"8", "openssl"},
                                          {"1", "avx2"},
                                          {"2", "avx2x16"},
                                          {"8", "avx2"},
                                          {"2", "avx512"}}) {
        EXPECT_EQ(runWith(threads, engine), sequential) << threads << " threads, " << engine;
    }
}

#ifdef __linux__
namespace {

// Where the first bytes of the file at `path` lie on its device, by FIEMAP.
std::optional<std::uint64_t> PhysicalPlace(const fs::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return std::nullopt;
    alignas(struct fiemap) unsigned char room[sizeof(struct fiemap) + sizeof(struct fiemap_extent)] = {};
    auto* map = reinterpret_cast<struct fiemap*>(room);
    map->fm_length = FIEMAP_MAX_OFFSET;
    map->fm_extent_count = 1;
    const bool known = ::ioctl(fd, FS_IOC_FIEMAP, map) == 0 && map->fm_mapped_extents == 1;
    ::close(fd);
    if (!known) return std::nullopt;
    return map->fm_extents[0].fe_physical;
}

// A file system on a loop device that says it is a rotating disk, mounted
// in `at` for the life of the object.
class RotatingDisk {
public:
    explicit RotatingDisk(const fs::path& at) : at_(at) {
        const fs::path image = at.parent_path() / "disk.img";
        if (::geteuid() != 0) {
            why_ = "making a loop device needs root";
            return;
        }
        fs::create_directories(at);
        if (!Command("truncate -s 64M '" + image.string() + "' && mkfs.ext4 -q -F '" + image.string() + "'")) {
            why_ = "mkfs.ext4 could not make a file system image";
            return;
        }
        device_ = Output("losetup -f --show '" + image.string() + "' 2>/dev/null");
        if (device_.empty()) {
            why_ = "no loop device could be set up (losetup -f)";
            return;
        }
        const std::string queue = "/sys/block/" + fs::path(device_).filename().string() + "/queue/rotational";
        std::ofstream(queue) << "1";
        std::ifstream flag(queue);
        char rotational = 0;
        flag >> rotational;
        if (rotational != '1') {
            why_ = queue + " cannot be set to 1";
            return;
        }
        if (::mount(device_.c_str(), at.c_str(), "ext4", 0, nullptr) != 0) {
            why_ = "the loop device's file system cannot be mounted here";
            return;
        }
        mounted_ = true;
    }
    ~RotatingDisk() {
        if (mounted_) ::umount2(at_.c_str(), MNT_DETACH);
        if (!device_.empty()) Command("losetup -d '" + device_ + "'");
    }
    RotatingDisk(const RotatingDisk&) = delete;
    RotatingDisk& operator=(const RotatingDisk&) = delete;
    // Empty when the disk is there; otherwise why not.
    const std::string& unavailable() const { return why_; }

private:
    static bool Command(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }
    static std::string Output(const std::string& command) {
        std::string text;
        if (FILE* pipe = ::popen(command.c_str(), "r")) {
            char buffer[256];
            while (std::fgets(buffer, sizeof buffer, pipe)) text += buffer;
            ::pclose(pipe);
        }
        while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
        return text;
    }

    fs::path at_;
    std::string device_;
    std::string why_;
    bool mounted_ = false;
};

// On a rotating disk the files of each window of the line are asked of the
// disk in the order of their places on it, not of their names; the summary
// keeps the order of the names. The files are written last name first, so
// the two orders are opposite. The listing reaches the subfolder late (its
// open waits): the first window holds one file, read from memory or not,
// which must not make the rest be taken as in memory too.
TEST(FolderBuild, ARotatingDiskIsReadInTheOrderOfThePlacesOfItsFiles) {
    if (WineMode()) GTEST_SKIP() << "a Linux loop device";
    Sandbox box;
    const fs::path root = box.root() / "disk";
    const RotatingDisk disk(root);
    if (!disk.unavailable().empty()) GTEST_SKIP() << disk.unavailable();

    std::vector<Recorded> files;
    for (int i = 47; i >= 0; --i) {
        const std::string name =
            std::string(i == 0 ? "" : "more/") + "f" + std::string(i < 10 ? "0" : "") + std::to_string(i) + ".bin";
        const std::string bytes(i % 3 == 0 ? 200000 + i : 4000 + i, static_cast<char>('a' + i % 26));
        WriteFile(root / name, bytes);
        ::sync();  // each file's blocks placed before the next is written
        files.push_back({name, bytes, ""});
    }
    std::reverse(files.begin(), files.end());
    // Read from the disk, as an archive checked once a week is: bytes found
    // in memory would rightly have the rest read in the line's order.
    for (const Recorded& file : files) {
        const int fd = ::open((root / file.rel).c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(fd, 0) << file.rel;
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        ::close(fd);
    }
    const std::string rootText = Native(root);
    const fs::path log = box.root() / "reads.log";
    RunOptions logged;
    logged.env = {{"LD_PRELOAD", SUMVANE_AT_OPEN_LIBRARY},
                  {"SUMVANE_READ_LOG", log.string()},
                  {"SUMVANE_PAUSE_NAME", "more"},
                  {"SUMVANE_PAUSE_SECONDS", "0.5"}};
    ExpectRun(box.Run({"-f" + rootText, "-r", "-c"}, logged), 0);
    EXPECT_EQ(ReadFile(root / "Sumvane.md5"), ExpectedSummary(rootText, root, files));

    // Windows: a run of "place" asks, then the disk is asked for the
    // window's files; each placed file's first ask must come in the order of
    // the places within its window. A file taken from the line (once a
    // window's files were all found in memory) is placed in none.
    std::map<std::string, std::uint64_t> places;
    for (const Recorded& file : files) {
        const std::optional<std::uint64_t> place = PhysicalPlace(root / file.rel);
        ASSERT_TRUE(place) << file.rel;
        places[(root / file.rel).string()] = *place;
    }
    std::ifstream lines(log);
    std::string what, path;
    std::vector<std::vector<std::string>> windows;  // first asks of each window's files
    std::map<std::string, std::size_t> windowOf;
    std::map<std::string, bool> asked;
    bool placing = false;
    while (lines >> what && std::getline(lines >> std::ws, path)) {
        if (!places.count(path)) continue;  // the summary, the log
        if (what == "place") {
            if (!placing) windows.emplace_back();
            placing = true;
            windowOf[path] = windows.size() - 1;
            continue;
        }
        placing = false;
        if (asked[path]) continue;
        asked[path] = true;
        if (windowOf.count(path)) windows[windowOf[path]].push_back(path);
    }
    std::size_t total = 0;
    std::size_t largest = 0;
    for (const std::vector<std::string>& window : windows) {
        for (std::size_t k = 1; k < window.size(); ++k)
            EXPECT_LT(places[window[k - 1]], places[window[k]]) << window[k - 1] << " asked before " << window[k];
        total += window.size();
        largest = std::max(largest, window.size());
    }
    EXPECT_EQ(total, windowOf.size()) << "every placed file asked of the disk after it was placed";
    EXPECT_EQ(asked.size(), files.size()) << "every file read";
    EXPECT_GT(largest, 1u) << "files taken one at a time are never reordered";

    // Told the disk does not rotate, the same bytes.
    fs::remove(root / "Sumvane.md5");
    RunOptions told;
    told.env = {{"SUMVANE_DISK_ORDER", "0"}};
    ExpectRun(box.Run({"-f" + rootText, "-r", "-c"}, told), 0);
    EXPECT_EQ(ReadFile(root / "Sumvane.md5"), ExpectedSummary(rootText, root, files));
}

}  // namespace
#endif
