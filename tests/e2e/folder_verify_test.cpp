// Verifying folder summaries (-v, -vc, a bare argument): the exact log lines,
// their order, the verdict and what happens to the rewrite summary.
//
// Most summaries here are written by hand, so the order of their lines, and
// with it the order of the log, is known.
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <regex>
#include <string>
#include <vector>

#include "expectations.h"
#include "harness.h"
#include "tree.h"

using namespace e2e;

namespace {

using Lines = std::vector<std::string>;

std::string Line(const std::string& digits, const std::string& path) { return digits + " " + path + "\r\n"; }

// `date`: what follows the digests (MismatchDate).
std::string Mismatch(const std::string& path, const std::string& stored, const std::string& now,
                     const std::string& date) {
    return path + " - MD5 Mismatch (" + stored + " - " + now + ")" + date;
}

std::string NotFound(const std::string& path) { return path + " - File Not Found"; }

// A folder "data" of four files under the sandbox root, with the paths as the
// program spells them.
struct Tree {
    explicit Tree(const Sandbox& box) : root(box.root() / "data"), text(Native(root)) {
        for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt"}) {
            WriteFile(root / name, std::string("contents of ") + name);
        }
    }
    std::string Path(const std::string& name) const { return Native(root / name); }
    std::string Digest(const std::string& name) const { return Md5Of(*ReadFile(root / name)); }
    // A correct summary line for `name` as it is now.
    std::string Entry(const std::string& name) const { return Line(Digest(name), Path(name)); }
    // The mismatch line of `name`, dated as its file and the summary are now.
    std::string Mismatched(const std::string& name, const std::string& stored, const std::string& now) const {
        return Mismatch(Path(name), stored, now, MismatchDate(root / name, Summary()));
    }
    fs::path Summary() const { return root / "Sumvane.md5"; }
    fs::path Rewrite() const { return root / "Sumvane.md5X"; }
    fs::path Log(const Sandbox& box) const { return box.desktop() / LogName(text); }

    fs::path root;
    std::string text;
};

TEST(FolderVerify, UnchangedTreeUnderRewriteLeavesNothingBehind) {
    Sandbox box;
    Tree tree(box);
    ExpectRun(box.Run({"-f" + tree.text, "-c"}), 0);
    const auto built = ReadFile(tree.Summary());
    ASSERT_TRUE(built);

    ExpectRun(box.Run({"-f" + tree.text, "-vc"}), 0);
    EXPECT_EQ(ReadFile(tree.Summary()), built);
    EXPECT_FALSE(fs::exists(tree.Rewrite()));
    ExpectNoLog(box, tree.text);
}

TEST(FolderVerify, ChangedAndMissingFilesUnderRewrite) {
    Sandbox box;
    Tree tree(box);
    const std::string oldB = tree.Digest("b.txt");
    const std::string summary = tree.Entry("d.txt") + tree.Entry("b.txt") + tree.Entry("c.txt") + tree.Entry("a.txt");
    WriteFile(tree.Summary(), summary);
    WriteFile(tree.root / "b.txt", "b has changed");
    fs::remove(tree.root / "c.txt");

    ExpectRun(box.Run({"-f" + tree.text, "-vc"}), 1);
    EXPECT_EQ(LogLines(tree.Log(box)),
              (Lines{tree.Mismatched("b.txt", oldB, Md5Of("b has changed")), NotFound(tree.Path("c.txt"))}));
    // Every entry that could be hashed, in summary order, with today's digest.
    EXPECT_EQ(ReadFile(tree.Rewrite()),
              tree.Entry("d.txt") + Line(Md5Of("b has changed"), tree.Path("b.txt")) + tree.Entry("a.txt"));
    EXPECT_EQ(ReadFile(tree.Summary()), summary);

    // The rewrite describes the tree as it is now.
    fs::rename(tree.Rewrite(), tree.Summary());
    ExpectRun(box.Run({"-f" + tree.text, "-vc"}), 0);
    ExpectNoLog(box, tree.text);
    EXPECT_FALSE(fs::exists(tree.Rewrite()));
}

// Names longer than any file's, of a file or of a folder on its way, name
// no file either.
TEST(FolderVerify, EveryFileMissingUnderRewriteWritesNoRewriteAndLeavesAnOlderOneAlone) {
    Sandbox box;
    Tree tree(box);
    const std::string tooLong(300, 'n');
    const std::string underTooLong = std::string(300, 'f') + Sep() + "a.txt";
    const std::string summary = Line(Md5Of("x"), tree.Path("gone1.txt")) + Line(Md5Of("y"), tree.Path("gone2.txt")) +
                                Line(Md5Of("z"), tree.Path(tooLong)) + Line(Md5Of("a"), tree.Path(underTooLong));
    WriteFile(tree.Summary(), summary);
    const Lines expectedLog = {NotFound(tree.Path("gone1.txt")), NotFound(tree.Path("gone2.txt")),
                               NotFound(tree.Path(tooLong)), NotFound(tree.Path(underTooLong))};

    ExpectRun(box.Run({"-f" + tree.text, "-vc"}), 1);
    EXPECT_EQ(LogLines(tree.Log(box)), expectedLog);
    EXPECT_FALSE(fs::exists(tree.Rewrite()));

    const std::string older = "an older rewrite\r\n";
    WriteFile(tree.Rewrite(), older);
    ExpectRun(box.Run({"-f" + tree.text, "-vc"}), 1);
    EXPECT_EQ(LogLines(tree.Log(box)), expectedLog);
    EXPECT_EQ(ReadFile(tree.Rewrite()), older);
}

struct PlainCase {
    const char* name;
    bool changeAFile;
};

void PrintTo(const PlainCase& c, std::ostream* os) { *os << c.name; }

class PlainVerifyTest : public ::testing::TestWithParam<PlainCase> {};

TEST_P(PlainVerifyTest, RemovesAnOldRewrite) {
    Sandbox box;
    Tree tree(box);
    const std::string oldA = tree.Digest("a.txt");
    WriteFile(tree.Summary(), tree.Entry("a.txt") + tree.Entry("b.txt"));
    WriteFile(tree.Rewrite(), tree.Entry("a.txt"));
    if (GetParam().changeAFile) WriteFile(tree.root / "a.txt", "new a");

    ExpectRun(box.Run({"-f" + tree.text, "-v"}), GetParam().changeAFile ? 1 : 0);
    EXPECT_FALSE(fs::exists(tree.Rewrite()));
    if (GetParam().changeAFile) {
        EXPECT_EQ(LogLines(tree.Log(box)), Lines{tree.Mismatched("a.txt", oldA, Md5Of("new a"))});
    } else {
        ExpectNoLog(box, tree.text);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, PlainVerifyTest,
                         ::testing::Values(PlainCase{"Clean", false}, PlainCase{"WithProblem", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FolderVerify, InvalidLinesAreLoggedFirstAndFailTheRun) {
    Sandbox box;
    Tree tree(box);
    const std::string oldB = tree.Digest("b.txt");
    const std::string digits = tree.Digest("a.txt");
    const std::string summary = tree.Entry("b.txt") +          // changed below
                                "\r\n" +                       // blank line
                                "ABCDEF0123\r\n" +             // short digest
                                digits + " \r\n" +             // digits and separator only
                                Line(digits, "Sumvane.md5") +  // the summary's own name
                                // ... in any spelling that reaches it, and its companions
                                Line(digits, tree.Path("Sumvane.md5")) + Lower(digits) + "  " +
                                tree.Path("Sumvane.md5X") + "\n" +  // md5sum's mark
                                Line(digits, " Sumvane.md5") + Line(digits, "./Sumvane.md5.dates") +
                                Line(digits, tree.Path("./Sumvane.md5.place")) +
                                Line(digits, tree.Path("Sumvane.md5X.dates")) +
                                tree.Entry("a.txt") +                         // still read after the bad lines
                                Line(digits, "sumvane.md5") +                 // another case: an ordinary entry
                                digits + "\t" + tree.Path("c.txt") + "\r\n";  // any separator byte
    WriteFile(tree.Summary(), summary);
    WriteFile(tree.root / "b.txt", "b has changed");
    WriteFile(tree.root / "c.txt", "contents of a.txt");  // same digest as a.txt

    ExpectRun(box.Run({"-f" + tree.text, "-vc"}), 1);
    EXPECT_EQ(LogLines(tree.Log(box)), (Lines{
                                           "Invalid input line - Invalid Hash",
                                           "Invalid input line - Invalid Hash",
                                           "Invalid input line - Invalid Filename",
                                           "Invalid input line - Invalid Filename",
                                           "Invalid input line - Invalid Filename",
                                           "Invalid input line - Invalid Filename",
                                           "Invalid input line - Invalid Filename",
                                           "Invalid input line - Invalid Filename",
                                           "Invalid input line - Invalid Filename",
                                           "Invalid input line - Invalid Filename",
                                           tree.Mismatched("b.txt", oldB, Md5Of("b has changed")),
                                           NotFound("sumvane.md5"),
                                       }));
    EXPECT_EQ(ReadFile(tree.Rewrite()), Line(Md5Of("b has changed"), tree.Path("b.txt")) + tree.Entry("a.txt") +
                                            Line(digits, tree.Path("c.txt")));
}

// A summary that went through a line-end conversion (LF alone, or no end on
// its last line), or was written with lower-case digits, says the same.
// A summary saved by an editor: the mark of UTF-8 text first, line ends
// converted, digits in lower case.
TEST(FolderVerify, ConvertedLineEndsLowerCaseDigitsAndAnEditorsMarkStillVerify) {
    Sandbox box;
    Tree tree(box);
    const std::string summary = "\xEF\xBB\xBF" + tree.Digest("a.txt") + " " + tree.Path("a.txt") + "\n" +
                                Lower(tree.Digest("b.txt")) + " " + tree.Path("b.txt") + "\n" + tree.Digest("c.txt") +
                                " " + tree.Path("c.txt");
    WriteFile(tree.Summary(), summary);
    ExpectRun(box.Run({"-f" + tree.text, "-vc"}), 0);
    ExpectNoLog(box, tree.text);
    EXPECT_FALSE(fs::exists(tree.Rewrite()));

    // Each of those lines is an entry that is really checked; a rewrite
    // writes upper case.
    const std::string oldC = tree.Digest("c.txt");
    WriteFile(tree.root / "c.txt", "new c");
    ExpectRun(box.Run({"-f" + tree.text, "-vc"}), 1);
    EXPECT_EQ(LogLines(tree.Log(box)), Lines{tree.Mismatched("c.txt", oldC, Md5Of("new c"))});
    EXPECT_EQ(ReadFile(tree.Rewrite()), tree.Entry("a.txt") + tree.Entry("b.txt") + tree.Entry("c.txt"));
    EXPECT_EQ(ReadFile(tree.Summary()), summary);
}

// A summary line holds a name as bytes: one per Latin-1 character, UTF-8 for
// the rest, so some byte strings read both ways. The other reading is tried
// before a file is called missing.
TEST(FolderVerify, NamesThatReadTwoWaysAreFound) {
    Sandbox box;
    Tree tree(box);
    // "É" and a no-break space are C9 A0, which is also the UTF-8 of U+0260;
    // a tool that writes UTF-8 stores "é" as C3 A9.
    const std::string latin1Name = "\xC3\x89\xC2\xA0x";  // on disk (UTF-8): "É", no-break space, "x"
    const std::string utf8Name = "\xC3\xA9.txt";         // "é.txt"
    WriteFile(tree.root / latin1Name, "latin");
    WriteFile(tree.root / utf8Name, "utf8");
    const std::string folderBytes = tree.text + Sep();
    const std::string summary =
        Md5Of("latin") + " " + folderBytes + "\xC9\xA0x\r\n" + Md5Of("utf8") + " " + folderBytes + "\xC3\xA9.txt\r\n";
    WriteFile(tree.Summary(), summary);
    ExpectRun(box.Run({"-f" + tree.text, "-vc"}), 0);
    ExpectNoLog(box, tree.text);

    // With neither reading there, the name is reported as first read.
    fs::remove(tree.root / latin1Name);
    ExpectRun(box.Run({"-f" + tree.text, "-v"}), 1);
    EXPECT_EQ(LogLines(tree.Log(box)), Lines{NotFound(tree.text + Sep() + "\xC9\xA0x")});
}

// A mismatch says whether the file was written since the summary was (an
// edit, with its date) or its bytes changed while its date did not (damage).
TEST(FolderVerify, AMismatchTellsDamageFromAnEdit) {
    Sandbox box;
    Tree tree(box);
    ExpectRun(box.Run({"-f" + tree.text, "-c"}), 0);
    const std::string oldA = tree.Digest("a.txt");
    const std::string oldC = tree.Digest("c.txt");
    const WriteTime recorded = WriteTimeOf(tree.Summary());
    const WriteTime cBefore = WriteTimeOf(tree.root / "c.txt");
    WriteFile(tree.root / "a.txt", "edited by its owner");
    const WriteTime editedAt{recorded.seconds + 3600, 0};
    SetWriteTime(tree.root / "a.txt", editedAt);
    WriteFile(tree.root / "c.txt", "decayed");
    SetWriteTime(tree.root / "c.txt", cBefore);

    const RunResult r = box.Run({"-f" + tree.text, "-v"});
    ExpectRun(r, 1);
    EXPECT_EQ(LogLines(tree.Log(box)),
              (Lines{Mismatch(tree.Path("a.txt"), oldA, Md5Of("edited by its owner"),
                              " - Modified " + LocalTimeText(editedAt)),
                     Mismatch(tree.Path("c.txt"), oldC, Md5Of("decayed"), " - Damaged: Date Unchanged")}));
    if (!WineMode()) {
        EXPECT_NE(r.err.find("sumvane: 2 problems (1 damaged, 1 edited); log: "), std::string::npos);
    }
}

// -a: the folder is walked beside the summary. A file the summary does not
// list is news (exit code 0); a listed file gone whose bytes are exactly one
// new file's was moved there (a problem: the summary no longer names it);
// where more than one could be meant, each is said as what it is.
TEST(FolderAdditions, NewMovedAndAmbiguousFilesAreToldApart) {
    const struct Case {
        const char* what;
        std::vector<std::pair<std::string, std::string>> before;  // rel, content
        std::vector<std::string> gone;
        std::vector<std::pair<std::string, std::string>> after;
        int exitCode;
        Lines log;                     // "%" stands for the root and its separator
        std::string listedTwice = {};  // a file whose line the summary holds twice
    } cases[] = {
        {"a new file", {{"a.jpg", "a"}}, {}, {{"new.jpg", "n"}}, 0, {"%new.jpg - New File"}},
        {"a file moved to a subfolder",
         {{"a.jpg", "a"}, {"b.jpg", "b"}},
         {"b.jpg"},
         {{"sub/b.jpg", "b"}},
         1,
         {"%b.jpg - Moved to %sub" + Sep() + "b.jpg"}},
        {"an empty file moved",
         {{"a.jpg", "a"}, {"e.txt", ""}},
         {"e.txt"},
         {{"sub/e.txt", ""}},
         1,
         {"%e.txt - File Not Found", "%sub" + Sep() + "e.txt - New File"}},
        {"two files it could have moved to",
         {{"a.jpg", "a"}, {"b.jpg", "b"}},
         {"b.jpg"},
         {{"c.jpg", "b"}, {"sub/b.jpg", "b"}},
         1,
         {"%b.jpg - File Not Found", "%c.jpg - New File", "%sub" + Sep() + "b.jpg - New File"}},
        {"two gone files of the same bytes",
         {{"a.jpg", "a"}, {"b.jpg", "b"}, {"c.jpg", "b"}},
         {"b.jpg", "c.jpg"},
         {{"d.jpg", "b"}},
         1,
         {"%b.jpg - File Not Found", "%c.jpg - File Not Found", "%d.jpg - New File"}},
        {"nothing changed", {{"a.jpg", "a"}, {"sub/b.jpg", "b"}}, {}, {}, 0, {}},
        {"a file listed twice, moved",
         {{"a.jpg", "a"}, {"b.jpg", "b"}},
         {"b.jpg"},
         {{"sub/b.jpg", "b"}},
         1,
         {"%b.jpg - Moved to %sub" + Sep() + "b.jpg"},
         "b.jpg"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Sandbox box;
        const fs::path root = box.root() / "p";
        for (const auto& [rel, content] : c.before) WriteFile(root / rel, content);
        const std::string rootText = Native(root);
        ExpectRun(box.Run({"-f" + rootText, "-r", "-c"}), 0);
        if (!c.listedTwice.empty()) {
            const std::string line = Line(Md5Of("b"), Native(root / c.listedTwice));
            WriteFile(root / "Sumvane.md5", *ReadFile(root / "Sumvane.md5") + line);
        }
        for (const std::string& rel : c.gone) fs::remove(root / rel);
        for (const auto& [rel, content] : c.after) WriteFile(root / rel, content);

        const RunResult r = box.Run({"-f" + rootText, "-r", "-av"});
        EXPECT_EQ(r.exitCode, c.exitCode);
        Lines expected;
        for (std::string line : c.log) {
            for (std::size_t at; (at = line.find('%')) != std::string::npos;) line.replace(at, 1, rootText + Sep());
            expected.push_back(line);
        }
        if (expected.empty()) {
            ExpectRun(r, 0);
            ExpectNoLog(box, rootText);
        } else {
            EXPECT_EQ(LogLines(box.desktop() / LogName(rootText)), expected);
            if (!WineMode()) ExpectLogOnStandardError(r.err);
        }
        EXPECT_FALSE(fs::exists(root / "Sumvane.md5X"));
    }
}

// The folder as a weekly check finds it: one file edited, one damaged, one
// moved and one added. -r -avc says each as what it is, and its rewrite is,
// byte for byte, the summary a build of the folder as it is now writes.
TEST(FolderAdditions, TheRewriteHoldsTheFolderAsItIsNow) {
    Sandbox box;
    const fs::path root = box.root() / "p";
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg", "d.jpg"}) WriteFile(root / name, std::string("photo ") + name);
    WriteFile(root / "old" / "e.jpg", "photo e");
    const std::string rootText = Native(root);
    const std::string p = rootText + Sep();
    ExpectRun(box.Run({"-f" + rootText, "-r", "-c"}), 0);
    const WriteTime recorded = WriteTimeOf(root / "Sumvane.md5");
    const WriteTime cBefore = WriteTimeOf(root / "c.jpg");
    WriteFile(root / "a.jpg", "edited");
    SetWriteTime(root / "a.jpg", {recorded.seconds + 600, 0});
    WriteFile(root / "c.jpg", "decayed");
    SetWriteTime(root / "c.jpg", cBefore);
    fs::create_directories(root / "sub");
    fs::rename(root / "b.jpg", root / "sub" / "b.jpg");
    fs::remove(root / "d.jpg");
    WriteFile(root / "new.jpg", "new photo");

    const RunResult r = box.Run({"-f" + rootText, "-r", "-avc"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(LogLines(box.desktop() / LogName(rootText)),
              (Lines{Mismatch(p + "a.jpg", Md5Of("photo a.jpg"), Md5Of("edited"),
                              " - Modified " + LocalTimeText({recorded.seconds + 600, 0})),
                     Mismatch(p + "c.jpg", Md5Of("photo c.jpg"), Md5Of("decayed"), " - Damaged: Date Unchanged"),
                     p + "b.jpg - Moved to " + p + "sub" + Sep() + "b.jpg", NotFound(p + "d.jpg"),
                     p + "new.jpg - New File"}));
    if (!WineMode()) {
        ExpectLogOnStandardError(r.err);
        EXPECT_TRUE(r.err.ends_with("sumvane: 4 problems (1 damaged, 1 edited, 1 missing, 1 moved), 1 new file; log: " +
                                    (box.desktop() / LogName(rootText)).string() + "\n"))
            << r.err;
    }
    const std::optional<std::string> rewrite = ReadFile(root / "Sumvane.md5X");
    ASSERT_TRUE(rewrite);
    fs::rename(root / "Sumvane.md5X", box.root() / "rewrite");
    fs::remove(root / "Sumvane.md5");
    ExpectRun(box.Run({"-f" + rootText, "-r", "-c"}), 0);
    EXPECT_EQ(rewrite, ReadFile(root / "Sumvane.md5"));

    // Taken for the summary, it checks clean; a new file alone is news, and
    // a rewrite is written for it.
    ExpectRun(box.Run({"-f" + rootText, "-r", "-avc"}), 0);
    EXPECT_FALSE(fs::exists(root / "Sumvane.md5X"));
    WriteFile(root / "sub" / "later.jpg", "later");
    const RunResult news = box.Run({"-f" + rootText, "-r", "-avc"});
    EXPECT_EQ(news.exitCode, 0);
    EXPECT_EQ(LogLines(box.desktop() / LogName(rootText)), Lines{p + "sub" + Sep() + "later.jpg - New File"});
    if (!WineMode()) {
        EXPECT_TRUE(news.err.ends_with(
            "sumvane: no problem, 1 new file; log: " + (box.desktop() / LogName(rootText)).string() + "\n"));
    }
    EXPECT_EQ(ReadFile(root / "Sumvane.md5X"),
              *ReadFile(root / "Sumvane.md5") + Md5Of("later") + " " + p + "sub" + Sep() + "later.jpg\r\n");
}

// A list as md5sum writes it, in its own order and with names relative to
// the folder: -a still finds what is new, and the rewrite comes in the
// order a build writes; the same with the folder given as a whole path.
TEST(FolderAdditions, AListWrittenByMd5sumIsMergedInTheWalksOrder) {
    Sandbox box;
    const fs::path root = box.root() / "data";
    std::string list;  // as "md5sum z.txt a.txt m.txt" writes it
    for (const char* name : {"z.txt", "a.txt", "m.txt"}) {
        WriteFile(root / name, name);
        list += Lower(Md5Of(name)) + "  " + name + "\n";
    }
    WriteFile(root / "Sumvane.md5", list);
    WriteFile(root / "b.txt", "b");
    RunOptions inRoot;  // the names are relative to the folder md5sum ran in
    inRoot.cwd = root;
    const std::string rootText = Native(root);
    for (const std::string& folder : {std::string(), rootText}) {
        SCOPED_TRACE(folder);
        fs::remove(root / "Sumvane.md5X");
        EXPECT_EQ(box.Run({"-f" + folder, "-avc"}, inRoot).exitCode, 0);
        EXPECT_EQ(LogLines(box.desktop() / (folder.empty() ? "Sumvane.txt" : LogName(rootText))),
                  Lines{"b.txt - New File"});
        EXPECT_EQ(ReadFile(root / "Sumvane.md5X"), Line(Md5Of("a.txt"), "a.txt") + Line(Md5Of("b"), "b.txt") +
                                                       Line(Md5Of("m.txt"), "m.txt") + Line(Md5Of("z.txt"), "z.txt"));
    }
}

// A list that names itself, as "find | xargs md5sum > list" and a second
// "md5sum * > list" make one: that line is invalid, never in a rewrite, so
// the rewrite taken for the summary checks clean.
TEST(FolderAdditions, AListThatNamesItselfNeverChecksItself) {
    if (WineMode()) GTEST_SKIP() << "md5sum's lists are made on Linux";
    Sandbox box;
    const fs::path root = box.root() / "data";
    WriteFile(root / "a.txt", "a");
    WriteFile(root / "sub" / "b.txt", "b");
    const std::string rootText = Native(root);
    const fs::path log = box.desktop() / LogName(rootText);
    WriteFile(root / "Sumvane.md5", "");  // as the shell makes it before find has looked
    const std::string find = "find '" + rootText + "' -type f | sort | xargs md5sum > '" + rootText + "/Sumvane.md5'";
    ASSERT_EQ(std::system(find.c_str()), 0);

    EXPECT_EQ(box.Run({"-f" + rootText, "-r", "-avc"}).exitCode, 1);
    EXPECT_EQ(LogLines(log), Lines{"Invalid input line - Invalid Filename"});
    const std::string rewrite =
        Line(Md5Of("a"), Native(root / "a.txt")) + Line(Md5Of("b"), Native(root / "sub" / "b.txt"));
    EXPECT_EQ(ReadFile(root / "Sumvane.md5X"), rewrite);
    fs::rename(root / "Sumvane.md5X", root / "Sumvane.md5");
    ExpectRun(box.Run({"-f" + rootText, "-r", "-avc"}), 0);
    EXPECT_FALSE(fs::exists(root / "Sumvane.md5X"));

    // Beside the summary lies its record of each file's date (the
    // rewrite's, taken in): md5sum lists both.
    ASSERT_TRUE(fs::exists(root / "Sumvane.md5.dates"));
    const std::string twice =
        "cd '" + rootText + "' && md5sum * > Sumvane.md5 2>/dev/null; md5sum * > Sumvane.md5 2>/dev/null";
    std::system(twice.c_str());
    RunOptions inRoot;
    inRoot.cwd = root;
    for (const std::string& folder : {std::string(), rootText}) {
        SCOPED_TRACE(folder);
        EXPECT_EQ(box.Run({"-f" + folder, "-vc"}, inRoot).exitCode, 1);
        EXPECT_EQ(LogLines(box.desktop() / (folder.empty() ? "Sumvane.txt" : LogName(rootText))),
                  (Lines{"Invalid input line - Invalid Filename", "Invalid input line - Invalid Filename"}));
        EXPECT_EQ(ReadFile(root / "Sumvane.md5X"), Line(Md5Of("a"), "a.txt"));
    }
}

// The folder checked through a link, the same folder under another
// spelling: its listed files are no news, and a new one is named, and
// rewritten, as the summary spells the folder (not twice, once each way).
TEST(FolderAdditions, AFolderCheckedThroughALinkIsComparedAsTheSummarySpellsIt) {
    if (WineMode()) GTEST_SKIP() << "the link to a folder is made on Linux";
    Sandbox box;
    const fs::path root = box.root() / "data";
    MakeTree(root, {{"a.txt", "a", ""}, {"sub/b.txt", "b", ""}});
    const std::string rootText = Native(root);
    ExpectRun(box.Run({"-f" + rootText, "-r", "-c"}), 0);
    const std::string summary = *ReadFile(root / "Sumvane.md5");
    const fs::path link = box.root() / "link";
    fs::create_directory_symlink(root, link);
    const std::string linkText = Native(link);

    ExpectRun(box.Run({"-f" + linkText, "-r", "-avc"}), 0);
    ExpectNoLog(box, linkText);
    EXPECT_FALSE(fs::exists(root / "Sumvane.md5X"));
    WriteFile(root / "sub" / "new.txt", "new");
    EXPECT_EQ(box.Run({"-f" + linkText, "-r", "-avc"}).exitCode, 0);
    EXPECT_EQ(LogLines(box.desktop() / LogName(linkText)), Lines{rootText + "/sub/new.txt - New File"});
    EXPECT_EQ(ReadFile(root / "Sumvane.md5X"), summary + Line(Md5Of("new"), rootText + "/sub/new.txt"));
}

// "Preis \u00C4\u00A9" in one byte per character is C4 A9, the UTF-8 of
// "Preis \u0129": with both files there, each line checks its own file,
// whatever happens to either.
TEST(FolderVerify, EachNameWrittenReadsBackAsItselfBesideItsLookalike) {
    Sandbox box;
    Tree tree(box);
    const std::string latin = "Preis \xC3\x84\xC2\xA9";  // on disk (UTF-8): "Preis \u00C4\u00A9"
    const std::string tilde = "Preis \xC4\xA9";          // "Preis \u0129"
    WriteFile(tree.root / latin, "latin");
    WriteFile(tree.root / tilde, "tilde");
    ExpectRun(box.Run({"-f" + tree.text, "-c"}), 0);
    ExpectRun(box.Run({"-f" + tree.text, "-v"}), 0);
    ExpectNoLog(box, tree.text);

    WriteFile(tree.root / tilde, "tilde, changed");
    fs::remove(tree.root / latin);
    ExpectRun(box.Run({"-f" + tree.text, "-v"}), 1);
    const std::string folder = tree.text + Sep();
    EXPECT_EQ(LogLines(tree.Log(box)),
              (Lines{NotFound(folder + latin), Mismatch(folder + tilde, Md5Of("tilde"), Md5Of("tilde, changed"),
                                                        MismatchDate(tree.root / tilde, tree.Summary()))}));
}

// The forms in which other tools write MD5 lists.
struct ListForm {
    const char* name;
    const char* md5sumOptions;
    bool utf16;         // saved again as UTF-16 with its mark and CR LF, as PowerShell's ">" saves text
    std::string start;  // how the list begins, for "plain.txt" first
};

void PrintTo(const ListForm& c, std::ostream* os) { *os << c.name; }

class ListFormTest : public ::testing::TestWithParam<ListForm> {};

// A summary as md5sum writes it: lower-case digits, a mode character before
// each name, names in UTF-8, a line feed alone after each; on Linux also a
// Latin-1 name beside its UTF-8 twin, and names md5sum escapes (a line for
// "a\\b" begins with a backslash and holds "a\\\\b"). The same in the tag form
// (md5sum --tag, as BSD's md5 and rhash --bsd write it), and saved as UTF-16
// (where a name is text: no Latin-1 byte).
TEST_P(ListFormTest, AListWrittenByAnotherToolVerifies) {
    const ListForm& form = GetParam();
    Sandbox box;
    const fs::path root = box.root() / "data";
    std::vector<std::string> names = {"plain.txt", "é.txt", "Főtanúsítvány.crt", "Łódź.txt", "café Ω.txt"};
    if (!WineMode()) names.insert(names.end(), {"a\\b.txt", "two\nlines.txt"});
    if (!WineMode() && !form.utf16) names.push_back("\xE9.txt");
    std::string command = "md5sum" + std::string(form.md5sumOptions);
    for (const std::string& name : names) {
        WriteFile(root / name, "contents of " + name);
        command += " '" + name + "'";
    }
    if (form.utf16) command = "{ printf '\\377\\376'; " + command + " | sed 's/$/\\r/' | iconv -f UTF-8 -t UTF-16LE; }";
    ASSERT_EQ(std::system(("cd '" + root.string() + "' && " + command + " > Sumvane.md5").c_str()), 0);
    const std::string digits = Lower(Md5Of("contents of plain.txt"));
    std::string start = form.start;
    if (const std::size_t at = start.find("<digits>"); at != std::string::npos) start.replace(at, 8, digits);
    ASSERT_EQ(ReadFile(root / "Sumvane.md5")->substr(0, start.size()), start);
    const std::string rootText = Native(root);
    RunOptions inRoot;  // the names are relative to the folder md5sum ran in
    inRoot.cwd = root;
    ExpectRun(box.Run({"-f" + rootText, "-v"}, inRoot), 0);
    ExpectRun(box.Run({"-f" + rootText, "-vc"}, inRoot), 0);
    EXPECT_FALSE(fs::exists(root / "Sumvane.md5X"));
    ExpectNoLog(box, rootText);
    if (WineMode()) return;

    // The escaped names are checked and rewritten as the files they name,
    // but for a line end, which no line of a rewrite can hold.
    const WriteTime before = WriteTimeOf(root / "two\nlines.txt");
    WriteFile(root / "two\nlines.txt", "damaged");
    SetWriteTime(root / "two\nlines.txt", before);
    WriteFile(root / "a\\b.txt", "edited");
    ExpectRun(box.Run({"-f" + rootText, "-vc"}, inRoot), 1);
    std::vector<std::string> logged = LogLines(box.desktop() / LogName(rootText));
    std::sort(logged.begin(), logged.end());
    const std::string old = Md5Of("contents of two\nlines.txt");
    EXPECT_EQ(logged, (Lines{Mismatch("a\\b.txt", Lower(Md5Of("contents of a\\b.txt")), Md5Of("edited"),
                                      MismatchDate(root / "a\\b.txt", root / "Sumvane.md5")),
                             Mismatch("two\\nlines.txt", Lower(old), Md5Of("damaged"), " - Damaged: Date Unchanged"),
                             "two\\nlines.txt - Unable to Write to File"}));
    // In the program's own form: Latin-1 characters one byte each, a byte
    // that is no UTF-8 as the three bytes of its escape.
    const std::map<std::string, std::string> ownForm = {{"é.txt", "\xE9.txt"}, {"\xE9.txt", "\xED\xB3\xA9.txt"}};
    std::string rewrite;
    for (const std::string& name : names) {
        if (name == "two\nlines.txt") continue;
        rewrite += Line(name == "a\\b.txt" ? Md5Of("edited") : Md5Of("contents of " + name),
                        ownForm.contains(name) ? ownForm.at(name) : name);
    }
    EXPECT_EQ(ReadFile(root / "Sumvane.md5X"), rewrite);
}

INSTANTIATE_TEST_SUITE_P(Forms, ListFormTest,
                         ::testing::Values(ListForm{"md5sum", "", false, "<digits>  plain.txt\n"},
                                           ListForm{"BsdTag", " --tag", false, "MD5 (plain.txt) = <digits>\n"},
                                           ListForm{"Utf16WithItsMark", "", true, "\xFF\xFE"}));

// A file that says it is empty may not be: /proc makes its files as they
// are read, and some FUSE file systems do the same.
TEST(FolderVerify, AFileOfSizeZeroIsReadToItsEnd) {
    const fs::path made = "/proc/version";
    const auto contents = ReadFile(made);
    if (!contents || contents->empty() || fs::file_size(made) != 0)
        GTEST_SKIP() << made << " is not made as it is read here";
    Sandbox box;
    Tree tree(box);
    WriteFile(tree.Summary(), Line(Md5Of(*contents), Native(made)) + tree.Entry("a.txt"));
    ExpectRun(box.Run({"-f" + tree.text, "-v"}), 0);
    ExpectNoLog(box, tree.text);
}

struct BareCase {
    const char* name;
    bool changeAFile;
};

void PrintTo(const BareCase& c, std::ostream* os) { *os << c.name; }

class BareArgumentTest : public ::testing::TestWithParam<BareCase> {};

TEST_P(BareArgumentTest, VerifiesTheFolderOfTheNamedFile) {
    Sandbox box;
    Tree tree(box);
    ExpectRun(box.Run({"-f" + tree.text, "-c"}), 0);
    const std::string oldC = tree.Digest("c.txt");
    if (GetParam().changeAFile) WriteFile(tree.root / "c.txt", "new c");

    ExpectRun(box.Run({Native(tree.Summary())}), GetParam().changeAFile ? 1 : 0);
    if (GetParam().changeAFile) {
        // The folder part ends in a separator; the log name is the same.
        EXPECT_EQ(LogLines(box.desktop() / LogName(tree.text + Sep())),
                  Lines{tree.Mismatched("c.txt", oldC, Md5Of("new c"))});
    } else {
        ExpectNoLog(box, tree.text + Sep());
    }
    EXPECT_FALSE(fs::exists(tree.Rewrite()));
}

INSTANTIATE_TEST_SUITE_P(Cases, BareArgumentTest,
                         ::testing::Values(BareCase{"Clean", false}, BareCase{"WithProblem", true}),
                         [](const auto& info) { return std::string(info.param.name); });

struct MissingCase {
    const char* name;
    const char* job;
    bool empty;  // the summary is there, cut to nothing (a crash, a full disk)
};

void PrintTo(const MissingCase& c, std::ostream* os) { *os << c.name; }

class MissingSummaryTest : public ::testing::TestWithParam<MissingCase> {};

// With nothing to check, nothing passes.
TEST_P(MissingSummaryTest, IsMissingDataAndKeepsAnOldRewrite) {
    Sandbox box;
    Tree tree(box);
    const std::string older = tree.Entry("a.txt");
    WriteFile(tree.Rewrite(), older);
    if (GetParam().empty) WriteFile(tree.Summary(), "");

    ExpectRun(box.Run({"-f" + tree.text, GetParam().job}), 1);
    EXPECT_EQ(LogLines(tree.Log(box)), Lines{Native(tree.Summary()) + " - Missing Data"});
    EXPECT_EQ(ReadFile(tree.Rewrite()), older);
    EXPECT_EQ(ReadFile(tree.Summary()), GetParam().empty ? std::optional<std::string>("") : std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(Cases, MissingSummaryTest,
                         ::testing::Values(MissingCase{"Verify", "-v", false},
                                           MissingCase{"VerifyAndRewrite", "-vc", false},
                                           MissingCase{"EmptyVerify", "-v", true},
                                           MissingCase{"EmptyVerifyAndRewrite", "-vc", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FolderVerify, UnwritableRewriteIsReportedAndLeavesNothingBehind) {
    Sandbox box;
    Tree tree(box);
    const std::string oldA = tree.Digest("a.txt");
    WriteFile(tree.Summary(), tree.Entry("a.txt") + tree.Entry("b.txt"));
    WriteFile(tree.root / "a.txt", "new a");
    fs::create_directory(tree.Rewrite());

    ExpectRun(box.Run({"-f" + tree.text, "-vc"}), 1);
    EXPECT_EQ(LogLines(tree.Log(box)), (Lines{tree.Mismatched("a.txt", oldA, Md5Of("new a")),
                                              Native(tree.Rewrite()) + " - Unable to Write to File"}));
    EXPECT_TRUE(fs::is_directory(tree.Rewrite()));
    EXPECT_EQ(std::distance(fs::directory_iterator(tree.root), fs::directory_iterator()), 6);
}

TEST(FolderVerify, OutputFolderHoldsTheLogNamedAfterTheFolder) {
    Sandbox box;
    Tree tree(box);
    const fs::path out = box.root() / "logs";
    fs::create_directories(out);
    const std::string oldD = tree.Digest("d.txt");
    WriteFile(tree.Summary(), tree.Entry("d.txt"));
    WriteFile(tree.root / "d.txt", "new d");

    ExpectRun(box.Run({"-f" + tree.text, "-v", "-o" + Native(out)}), 1);
    EXPECT_EQ(LogLines(out / LogName(tree.text)), Lines{tree.Mismatched("d.txt", oldD, Md5Of("new d"))});
    ExpectNoLog(box, tree.text);
    // The log is the only file the run added to the output folder.
    EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 1);
}

struct SecondRunCase {
    const char* name;
    std::vector<std::string> args;  // after -f<folder>
    std::string notes;              // Linux's standard error
};

void PrintTo(const SecondRunCase& c, std::ostream* os) { *os << c.name; }

class SecondRunTest : public ::testing::TestWithParam<SecondRunCase> {};

TEST_P(SecondRunTest, DeletesTheLogOfTheFirstRunEvenWhenItFindsNothing) {
    Sandbox box;
    Tree tree(box);
    WriteFile(tree.Summary(), tree.Entry("a.txt"));
    fs::remove(tree.root / "a.txt");
    ExpectRun(box.Run({"-f" + tree.text, "-v"}), 1);
    ASSERT_EQ(LogLines(tree.Log(box)), Lines{NotFound(tree.Path("a.txt"))});

    WriteFile(tree.root / "a.txt", "contents of a.txt");
    std::vector<std::string> args = {"-f" + tree.text};
    args.insert(args.end(), GetParam().args.begin(), GetParam().args.end());
    const RunResult r = box.Run(args);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, Banner());
    if (!WineMode()) {
        EXPECT_EQ(r.err, GetParam().notes);
    }
    ExpectNoLog(box, tree.text);
}

INSTANTIATE_TEST_SUITE_P(Cases, SecondRunTest,
                         ::testing::Values(SecondRunCase{"CleanVerify", {"-v"}, ""},
                                           SecondRunCase{"NoWorkAtAll",
                                                         {},
                                                         "sumvane: nothing to do: neither -c (record) nor -v "
                                                         "(check) was given\n"},
                                           SecondRunCase{"CleanBuild", {"-c"}, ""}),
                         [](const auto& info) { return std::string(info.param.name); });

// A run that starts while another run of the same folder still goes (a
// nightly slice during a long weekly check) does not delete that run's log:
// both runs' lines go into it, and neither loses one.
TEST(FolderVerify, TwoRunsOfOneFolderAtOnceShareTheLog) {
    if (WineMode()) GTEST_SKIP() << "the stand-in that holds a run up";
    Sandbox box;
    Tree tree(box);
    WriteFile(tree.root / "slow.txt", "slow");
    WriteFile(tree.Summary(), tree.Entry("a.txt") + Md5Of("slow") + " " + tree.Path("slow.txt") + "\r\n");
    fs::remove(tree.root / "a.txt");
    RunOptions held;  // its open of slow.txt waits 3 s, after its first line
    held.env = {{"LD_PRELOAD", SUMVANE_AT_OPEN_LIBRARY},
                {"SUMVANE_PAUSE_NAME", "slow.txt"},
                {"SUMVANE_PAUSE_SECONDS", "3"},
                {"ASAN_OPTIONS", WithLinkOrderUnchecked()}};
    std::optional<RunResult> second;
    held.whileRunning = [&](pid_t) {
        if (!second && LogLines(tree.Log(box)).size() == 1) second = box.Run({"-f" + tree.text, "-v"});
    };

    const RunResult first = box.Run({"-f" + tree.text, "-v"}, held);
    ASSERT_TRUE(second) << "the first run ended before its log was written";
    // Each run says its own line, and that it is in the log.
    const RunResult& later = *second;
    for (const RunResult* r : {&first, &later}) {
        EXPECT_EQ(r->exitCode, 1);
        EXPECT_TRUE(r->err.ends_with(NotFound(tree.Path("a.txt")) +
                                     "\nsumvane: 1 problem (1 missing); log: " + Native(tree.Log(box)) + "\n"))
            << r->err;
    }
    EXPECT_EQ(LogLines(tree.Log(box)), (Lines{NotFound(tree.Path("a.txt")), NotFound(tree.Path("a.txt"))}));
}

// -b: a check heals what it finds damaged or missing from a copy of the
// folder (cp -a), when the copy holds the bytes the summary records. An
// archive "data" (a.txt, c.txt private to its owner, sub/e.txt) recorded,
// copied, then harmed; the copy may be harmed too.
// The run's date, as the folder of what a repair replaced is named.
std::string HealingDay() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char day[16];
    std::strftime(day, sizeof day, "%Y-%m-%d", &local);
    return day;
}

struct HealedTree {
    explicit HealedTree(const Sandbox& box)
        : root(box.root() / "data"), copy(box.root() / "copy"), text(Native(root)), copyText(Native(copy)) {
        WriteFile(root / "a.txt", "contents of a");
        WriteFile(root / "c.txt", "contents of c");
        fs::permissions(root / "c.txt", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
        WriteFile(root / "sub" / "e.txt", "contents of e");
        SetWriteTime(root / "c.txt", {1700000000, 123456789});
        ExpectRun(box.Run({"-f" + text, "-r", "-c"}), 0);
        EXPECT_EQ(std::system(("cp -a '" + root.string() + "' '" + copy.string() + "'").c_str()), 0);
        // The copy's dates are not the recorded ones: a healed file gets
        // the date recorded beside the summary.
        for (const char* rel : {"a.txt", "c.txt", "sub/e.txt"}) {
            recorded[rel] = WriteTimeOf(root / rel);
            SetWriteTime(copy / rel, {recorded[rel].seconds + 86400, 0});
        }
    }
    std::string P(const std::string& rel) const { return Native(root / rel); }
    std::string C(const std::string& rel) const { return Native(copy / rel); }
    // The file's bytes now, kept its date: damage.
    void Decay(const fs::path& file, const std::string& bytes) const {
        const WriteTime date = WriteTimeOf(file);
        WriteFile(file, bytes);
        SetWriteTime(file, date);
    }
    fs::path Kept() const { return root / ".sumvane-replaced"; }

    fs::path root, copy;
    std::string text, copyText;
    std::map<std::string, WriteTime> recorded;
};

struct HealCase {
    const char* name;
    std::function<void(const HealedTree&)> harm;
    std::vector<std::string> options;  // beside -f<data> -b<copy>
    std::function<Lines(const HealedTree&)> lines;
    int exitCode;
    int again;                                                // the exit code of a plain check after it
    std::map<std::string, std::optional<std::string>> after;  // below data: the bytes, or none
    std::optional<std::string> kept;                          // c.txt's replaced bytes under .sumvane-replaced/<day>/
    std::map<std::string, std::string> env = {};
    bool readOnly = false;               // c.txt is read-only (0444) when harmed: so are the repaired and kept files
    const char* notUnderWine = nullptr;  // why the Windows program cannot be given this case under Wine
    bool asRoot = false;                 // the harm gives files to another user: run as root only
};

void PrintTo(const HealCase& c, std::ostream* os) { *os << c.name; }

class HealFromCopyTest : public ::testing::TestWithParam<HealCase> {};

const std::string kDecayed = "decayed bytes of c";

TEST_P(HealFromCopyTest, HealsOnlyWhereTheCopyIsAGoodWitness) {
    const HealCase& c = GetParam();
    Sandbox box;
    const HealedTree tree(box);
    if (WineMode() && c.notUnderWine) GTEST_SKIP() << c.notUnderWine;
    if (c.asRoot && ::geteuid() != 0) GTEST_SKIP() << "files of another user are made as root";
    if (const std::string why = box.unprivilegedUnavailable(); c.asRoot && !why.empty()) GTEST_SKIP() << why;
    c.harm(tree);
    RunOptions options;
    options.env = c.env;
    for (auto& [key, value] : options.env) {
        if (value == "%c") value = (tree.root / "c.txt").string();
    }
    std::vector<std::string> args = {"-f" + tree.text, "-b" + tree.copyText};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const RunResult r = box.Run(args, options);
    ExpectRun(r, c.exitCode);
    EXPECT_EQ(LogLines(box.desktop() / LogName(tree.text)), c.lines(tree));
    for (const auto& [rel, bytes] : c.after) {
        EXPECT_EQ(ReadFile(tree.root / rel), bytes) << rel;
        // A file healed has the date it was recorded with (to 100 ns, as
        // the record keeps it).
        if (bytes && bytes->starts_with("contents of ")) {
            WriteTime recorded = tree.recorded.at(rel);
            WriteTime now = WriteTimeOf(tree.root / rel);
            recorded.nanoseconds -= recorded.nanoseconds % 100;
            now.nanoseconds -= now.nanoseconds % 100;
            EXPECT_EQ(now, recorded) << rel;
        }
    }
    EXPECT_FALSE(HasTemporaryFile(tree.root));
    EXPECT_FALSE(HasTemporaryFile(tree.root / "sub"));
    const fs::path keptC = tree.Kept() / HealingDay() / "c.txt";
    EXPECT_EQ(ReadFile(keptC), c.kept);
    // Nothing replaced: no folder made for it, also where the repair was
    // abandoned after the bytes were kept (the stand-in's rows).
    if (!c.kept) {
        EXPECT_FALSE(fs::exists(tree.Kept()));
    }
    if (c.kept && (c.readOnly || !WineMode())) {
        // The repaired file keeps the mode of the one it replaced, which is
        // kept with its own. A Windows file has its folder's permissions,
        // but keeps its read-only attribute (Wine's 0444).
        const fs::perms own = c.readOnly ? fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read
                                         : fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
        EXPECT_EQ(fs::status(tree.root / "c.txt").permissions(), own);
        EXPECT_EQ(fs::status(keptC).permissions(), own);
    }
    if (c.kept && !WineMode()) {
        EXPECT_NE(r.err.find(", 1 repaired; log: "), std::string::npos) << r.err;
    }
    // Under -vc the rewrite holds the healed file at its recorded digest.
    if (c.options == std::vector<std::string>{"-vc"}) {
        EXPECT_EQ(ReadFile(tree.root / "Sumvane.md5X"), ReadFile(tree.root / "Sumvane.md5"));
        EXPECT_EQ(ReadFile(tree.root / "Sumvane.md5X.dates"), ReadFile(tree.root / "Sumvane.md5.dates"));
    }
    const RunResult again = box.Run({"-f" + tree.text, "-v"});
    EXPECT_EQ(again.exitCode, c.again) << again.err;
}

// Two files to restore into one missing folder, both refused (their copies
// decayed): the folders the first made are taken away too, though they
// held the second's new file when the first was given up.
TEST(HealFromCopy, RefusedRestoresLeaveNoFolderMadeForThem) {
    Sandbox box;
    const fs::path root = box.root() / "data", copy = box.root() / "copy";
    for (const char* name : {"e.txt", "f.txt"}) WriteFile(root / "sub" / "deep" / name, std::string("good ") + name);
    ExpectRun(box.Run({"-f" + Native(root), "-r", "-c"}), 0);
    fs::copy(root, copy, fs::copy_options::recursive);
    Lines lines;
    for (const char* name : {"e.txt", "f.txt"}) {
        WriteFile(copy / "sub" / "deep" / name, std::string("decayed ") + name);
        lines.push_back(NotFound(Native(root / "sub" / "deep" / name)));
        lines.push_back(Native(copy / "sub" / "deep" / name) + " - No Good Copy (" +
                        Md5Of(std::string("decayed ") + name) + ")");
    }
    fs::remove_all(root / "sub");
    ExpectRun(box.Run({"-f" + Native(root), "-v", "-b" + Native(copy)}), 1);
    EXPECT_EQ(LogLines(box.desktop() / LogName(Native(root))), lines);
    EXPECT_FALSE(fs::exists(root / "sub"));
}

// A file its owner cannot read (Error computing MD5) is repaired too, as its
// owner runs the check, and keeps its mode.
TEST(HealFromCopy, AnUnreadableFileIsRepaired) {
    if (WineMode()) GTEST_SKIP() << "a file its owner cannot read: POSIX permissions and another user";
    Sandbox box;
    if (const std::string why = box.unprivilegedUnavailable(); !why.empty()) GTEST_SKIP() << why;
    const HealedTree tree(box);
    if (::geteuid() == 0) GiveToUnprivileged(box.root());
    fs::permissions(tree.root / "c.txt", fs::perms::owner_write);
    RunOptions asUser;
    asUser.unprivileged = true;
    const RunResult r = box.Run({"-f" + tree.text, "-v", "-b" + tree.copyText}, asUser);
    ExpectRun(r, 1);
    EXPECT_EQ(
        LogLines(box.desktop() / LogName(tree.text)),
        (Lines{tree.P("c.txt") + " - Error computing MD5", tree.P("c.txt") + " - Repaired from " + tree.C("c.txt")}));
    EXPECT_EQ(fs::status(tree.root / "c.txt").permissions(), fs::perms::owner_write);
    fs::permissions(tree.root / "c.txt", fs::perms::owner_read, fs::perm_options::add);
    EXPECT_EQ(ReadFile(tree.root / "c.txt"), "contents of c");
    EXPECT_EQ(ReadFile(tree.Kept() / HealingDay() / "c.txt"), "contents of c");
}

// Forty files healed in one run go through the repair together (in lanes,
// on two cores, batch after batch), each good copy's bytes are put in place,
// each bad witness is refused alone, and the log reads as if they were
// healed one by one: each problem followed by its healing, in the summary's
// order. The same with the system's MD5 alone, and under a limit of open
// files so low that the files are healed one at a time.
TEST(HealFromCopy, ManyFilesAtOnceEachAsIfAlone) {
    struct Way {
        const char* name;
        std::map<std::string, std::string> env;
        std::vector<std::pair<int, unsigned long>> limits;
    };
    const Way ways[] = {{"lanes", {}, {}},
                        {"one stream", {{"SUMVANE_MD5", "onestream"}}, {}},
                        {"few descriptors", {}, {{RLIMIT_NOFILE, 40}}},
                        // Its fifth thread, after the one hashing thread: the
                        // first batch's second core, which it does without.
                        {"no thread to spare",
                         {{"LD_PRELOAD", SUMVANE_AT_OPEN_LIBRARY},
                          {"SUMVANE_REFUSE_THREAD", "5"},
                          {"SUMVANE_THREADS", "1"},
                          {"ASAN_OPTIONS", WithLinkOrderUnchecked()}},
                         {}}};
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        // No limit on open files to give a Windows program, and the stand-in
        // that refuses a thread is a Linux library.
        if (WineMode() && (!way.limits.empty() || way.env.contains("LD_PRELOAD"))) continue;
        Sandbox box;
        const fs::path root = box.root() / "data", copy = box.root() / "copy";
        const auto name = [](int i) { return (i < 20 ? "f" : "sub/f") + std::to_string(100 + i) + ".bin"; };
        const auto bytes = [](int i) {
            return std::string(static_cast<std::size_t>(i) * 7001 + 1, char('a' + i % 26));
        };
        for (int i = 0; i < 40; ++i) WriteFile(root / name(i), bytes(i));
        ExpectRun(box.Run({"-f" + Native(root), "-r", "-c"}), 0);
        ASSERT_EQ(std::system(("cp -a '" + root.string() + "' '" + copy.string() + "'").c_str()), 0);
        const WriteTime later{WriteTimeOf(root / "Sumvane.md5").seconds + 3600, 0};
        const auto decay = [](const fs::path& file, int i) {
            const WriteTime date = WriteTimeOf(file);
            WriteFile(file, "decayed " + std::to_string(i));
            SetWriteTime(file, date);
        };
        Lines lines, still;
        for (int i = 0; i < 40; ++i) {
            const std::string p = Native(root / name(i)), c = Native(copy / name(i));
            const std::string damaged =
                Mismatch(p, Md5Of(bytes(i)), Md5Of("decayed " + std::to_string(i)), " - Damaged: Date Unchanged");
            if (i == 17) {
                fs::remove(root / name(i));
                lines.insert(lines.end(), {NotFound(p), p + " - Restored from " + c});
                continue;
            }
            if (i == 30) {  // an edit is not healed
                WriteFile(root / name(i), "edited " + std::to_string(i));
                SetWriteTime(root / name(i), later);
                lines.push_back(Mismatch(p, Md5Of(bytes(i)), Md5Of("edited " + std::to_string(i)),
                                         MismatchDate(root / name(i), root / "Sumvane.md5")));
                still.push_back(lines.back());
                continue;
            }
            decay(root / name(i), i);
            lines.push_back(damaged);
            if (i == 5) {
                decay(copy / name(i), 100 + i);
                lines.push_back(c + " - No Good Copy (" + Md5Of("decayed 105") + ")");
            } else if (i == 23) {
                fs::remove(copy / name(i));
                lines.push_back(c + " - No Good Copy (missing)");
            } else {
                lines.push_back(p + " - Repaired from " + c);
                continue;
            }
            still.push_back(damaged);
        }
        RunOptions options;
        options.env = way.env;
        options.limits = way.limits;
        const RunResult r = box.Run({"-f" + Native(root), "-v", "-b" + Native(copy)}, options);
        ExpectRun(r, 1);
        EXPECT_EQ(LogLines(box.desktop() / LogName(Native(root))), lines);
        if (!WineMode()) {  // the Windows program says its log lines in the log alone
            EXPECT_NE(r.err.find("), 37 repaired, 2 not repaired; log: "), std::string::npos) << r.err;
        }
        for (int i = 0; i < 40; ++i) {
            if (i == 5 || i == 23 || i == 30) continue;
            EXPECT_EQ(ReadFile(root / name(i)), bytes(i)) << name(i);
            if (i != 17) {
                EXPECT_EQ(ReadFile(root / ".sumvane-replaced" / HealingDay() / name(i)),
                          "decayed " + std::to_string(i));
            }
        }
        EXPECT_FALSE(HasTemporaryFile(root));
        EXPECT_FALSE(HasTemporaryFile(root / "sub"));
        // Healed at their recorded dates: the next check finds only what
        // was not healed.
        ExpectRun(box.Run({"-f" + Native(root), "-v"}), 1);
        EXPECT_EQ(LogLines(box.desktop() / LogName(Native(root))), still);
    }
}

// c.txt damaged, and its copy no regular file: no witness.
Lines CopyOfCNotAFile(const HealedTree& t) {
    return Lines{Mismatch(t.P("c.txt"), Md5Of("contents of c"), Md5Of(kDecayed), " - Damaged: Date Unchanged"),
                 t.C("c.txt") + " - No Good Copy (not a regular file)"};
}

std::string Restored(const HealedTree& tree, const std::string& rel) {
    return tree.P(rel) + " - Restored from " + tree.C(rel);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HealFromCopyTest,
    ::testing::Values(
        HealCase{"DamagedFileRepaired",
                 [](const HealedTree& t) { t.Decay(t.root / "c.txt", kDecayed); },
                 {"-v"},
                 [](const HealedTree& t) {
                     return Lines{
                         Mismatch(t.P("c.txt"), Md5Of("contents of c"), Md5Of(kDecayed), " - Damaged: Date Unchanged"),
                         t.P("c.txt") + " - Repaired from " + t.C("c.txt")};
                 },
                 1,
                 0,
                 {{"c.txt", "contents of c"}, {"a.txt", "contents of a"}},
                 kDecayed},
        // A read-only file is replaced too, and stays read-only, as its kept bytes do.
        HealCase{"ReadOnlyFileRepaired",
                 [](const HealedTree& t) {
                     t.Decay(t.root / "c.txt", kDecayed);
                     fs::permissions(t.root / "c.txt",
                                     fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
                 },
                 {"-v"},
                 [](const HealedTree& t) {
                     return Lines{
                         Mismatch(t.P("c.txt"), Md5Of("contents of c"), Md5Of(kDecayed), " - Damaged: Date Unchanged"),
                         t.P("c.txt") + " - Repaired from " + t.C("c.txt")};
                 },
                 1,
                 0,
                 {{"c.txt", "contents of c"}},
                 kDecayed,
                 {},
                 true},
        HealCase{"RepairedUnderRewriteAtItsRecordedDigest",
                 [](const HealedTree& t) { t.Decay(t.root / "c.txt", kDecayed); },
                 {"-vc"},
                 [](const HealedTree& t) {
                     return Lines{
                         Mismatch(t.P("c.txt"), Md5Of("contents of c"), Md5Of(kDecayed), " - Damaged: Date Unchanged"),
                         t.P("c.txt") + " - Repaired from " + t.C("c.txt")};
                 },
                 1,
                 0,
                 {{"c.txt", "contents of c"}},
                 kDecayed},
        HealCase{"MissingFileAndFolderRestored",
                 [](const HealedTree& t) {
                     fs::remove(t.root / "a.txt");
                     fs::remove_all(t.root / "sub");
                 },
                 {"-v"},
                 [](const HealedTree& t) {
                     return Lines{NotFound(t.P("a.txt")), Restored(t, "a.txt"), NotFound(t.P("sub/e.txt")),
                                  Restored(t, "sub/e.txt")};
                 },
                 1,
                 0,
                 {{"a.txt", "contents of a"}, {"sub/e.txt", "contents of e"}},
                 std::nullopt},
        HealCase{"EditedAndNewFilesUntouched",
                 [](const HealedTree& t) {
                     WriteFile(t.root / "a.txt", "edited by its owner");
                     SetWriteTime(t.root / "a.txt", {WriteTimeOf(t.root / "Sumvane.md5").seconds + 3600, 0});
                     WriteFile(t.root / "new.txt", "new");
                 },
                 {"-a", "-v"},
                 [](const HealedTree& t) {
                     return Lines{Mismatch(t.P("a.txt"), Md5Of("contents of a"), Md5Of("edited by its owner"),
                                           MismatchDate(t.root / "a.txt", t.root / "Sumvane.md5")),
                                  t.P("new.txt") + " - New File"};
                 },
                 1,
                 1,
                 {{"a.txt", "edited by its owner"}, {"new.txt", "new"}},
                 std::nullopt},
        HealCase{"CopyDamagedToo",
                 [](const HealedTree& t) {
                     t.Decay(t.root / "c.txt", kDecayed);
                     t.Decay(t.copy / "c.txt", "other decayed bytes of c");
                 },
                 {"-v"},
                 [](const HealedTree& t) {
                     return Lines{
                         Mismatch(t.P("c.txt"), Md5Of("contents of c"), Md5Of(kDecayed), " - Damaged: Date Unchanged"),
                         t.C("c.txt") + " - No Good Copy (" + Md5Of("other decayed bytes of c") + ")"};
                 },
                 1,
                 1,
                 {{"c.txt", kDecayed}},
                 std::nullopt},
        HealCase{"CopyMissing",
                 [](const HealedTree& t) {
                     fs::remove(t.root / "a.txt");
                     fs::remove(t.copy / "a.txt");
                 },
                 {"-v"},
                 [](const HealedTree& t) {
                     return Lines{NotFound(t.P("a.txt")), t.C("a.txt") + " - No Good Copy (missing)"};
                 },
                 1,
                 1,
                 {{"a.txt", std::nullopt}},
                 std::nullopt},
        HealCase{"CopyAFolder",
                 [](const HealedTree& t) {
                     t.Decay(t.root / "c.txt", kDecayed);
                     fs::remove(t.copy / "c.txt");
                     fs::create_directory(t.copy / "c.txt");
                 },
                 {"-v"},
                 CopyOfCNotAFile,
                 1,
                 1,
                 {{"c.txt", kDecayed}},
                 std::nullopt},
        // A link in the copy, even to the right bytes outside it, is no copy.
        HealCase{"CopyALinkOutsideIt",
                 [](const HealedTree& t) {
                     t.Decay(t.root / "c.txt", kDecayed);
                     WriteFile(t.root.parent_path() / "elsewhere.txt", "contents of c");
                     fs::remove(t.copy / "c.txt");
                     fs::create_symlink(t.root.parent_path() / "elsewhere.txt", t.copy / "c.txt");
                 },
                 {"-v"},
                 CopyOfCNotAFile,
                 1,
                 1,
                 {{"c.txt", kDecayed}},
                 std::nullopt,
                 {},
                 false,
                 "Wine shows a Linux symbolic link as the file it leads to, not as a reparse point"},
        // Run as root: a link another user put in the copy, to their own file
        // outside it with the right bytes, is read as no copy, not as root.
        HealCase{"CopyAnotherUsersLinkOutsideIt",
                 [](const HealedTree& t) {
                     t.Decay(t.root / "c.txt", kDecayed);
                     const fs::path theirs = t.root.parent_path() / "theirs.txt";
                     WriteFile(theirs, "contents of c");
                     fs::permissions(theirs, fs::perms::owner_read | fs::perms::owner_write);
                     fs::remove(t.copy / "c.txt");
                     fs::create_symlink(theirs, t.copy / "c.txt");
                     GiveToUnprivileged(theirs);
                     GiveToUnprivileged(t.copy / "c.txt");
                 },
                 {"-v"},
                 CopyOfCNotAFile,
                 1,
                 1,
                 {{"c.txt", kDecayed}},
                 std::nullopt,
                 {},
                 false,
                 "Wine shows a Linux symbolic link as the file it leads to, not as a reparse point",
                 true},
        HealCase{"CopyFolderMissing",
                 [](const HealedTree& t) {
                     fs::remove_all(t.root / "sub");
                     fs::remove_all(t.copy);
                 },
                 {"-v"},
                 [](const HealedTree& t) {
                     return Lines{NotFound(t.P("sub/e.txt")), t.C("sub/e.txt") + " - No Good Copy (missing)"};
                 },
                 1,
                 1,
                 {{"sub/e.txt", std::nullopt}},
                 std::nullopt},
        // The owner writes to the file while the copy's bytes are written
        // beside it: their edit stays, nothing of the repair is left.
        HealCase{"FileChangedBeforeTheRename",
                 [](const HealedTree& t) { t.Decay(t.root / "c.txt", kDecayed); },
                 {"-v"},
                 [](const HealedTree& t) {
                     return Lines{
                         Mismatch(t.P("c.txt"), Md5Of("contents of c"), Md5Of(kDecayed), " - Damaged: Date Unchanged"),
                         t.P("c.txt") + " - Changed While Checked: Not Repaired"};
                 },
                 1,
                 1,
                 {{"c.txt", kDecayed + "an edit by its owner\n"}},
                 std::nullopt,
                 {{"LD_PRELOAD", SUMVANE_AT_OPEN_LIBRARY},
                  {"SUMVANE_EDIT_NAME", "*.sumvane-"},
                  {"SUMVANE_EDIT_PATH", "%c"},
                  {"ASAN_OPTIONS", WithLinkOrderUnchecked()}},
                 false,
                 "the stand-in that edits the file as it is repaired is a Linux library"}),
    [](const auto& info) { return std::string(info.param.name); });

// The weekly check of the README run as written: its one-time build, then
// its crontab line through the shell from the home folder, where cron starts
// it. Clean, the check exits with 0 and says nothing; after a change it exits
// with 1 and the problem is on standard error; standard output stays empty.
TEST(WeeklyCheck, TheReadmeRecipeRunsAsWritten) {
    if (WineMode()) GTEST_SKIP() << "cron and systemd are Linux's";
    const std::string readme = ReadFile(SUMVANE_README_FILE).value_or("");
    const std::size_t start = readme.find("\n## Check a folder every week\n");
    ASSERT_NE(start, std::string::npos) << "no such section in " << SUMVANE_README_FILE;
    const std::string section = readme.substr(start, readme.find("\n## ", start + 1) - start);
    static const std::regex buildLine("\n(sumvane -f/srv/photos [^\n]*-c)\n");
    static const std::regex cronLine("\n(?:[0-9*,/-]+ +){5}(/usr/bin/sumvane -f/srv/photos [^\n]*)\n");
    std::smatch build, cron;
    ASSERT_TRUE(std::regex_search(section, build, buildLine)) << section;
    ASSERT_TRUE(std::regex_search(section, cron, cronLine)) << section;
    // The packaged systemd service runs the same command for its folder
    // ("%f"), its output sent nowhere by the unit; the README starts it so.
    const std::string redirect = " >/dev/null";
    const std::string command = cron[1].str();
    ASSERT_TRUE(command.ends_with(redirect)) << command;
    std::string unit = ReadFile(SUMVANE_SYSTEMD_UNITS "/sumvane-check@.service.in").value_or("");
    const std::string program = "@SUMVANE_PROGRAM@";
    unit.replace(unit.find(program), program.size(), "/usr/bin/sumvane");
    for (std::size_t at; (at = unit.find("%f")) != std::string::npos;) unit.replace(at, 2, "/srv/photos");
    // Its shell adds -m where node_exporter's folder exists (the case
    // Reports.TheUnitsWriteTheMetricsWhereNodeExportersFolderIs), then runs
    // the command.
    const std::size_t execStart = unit.find("\nExecStart=/bin/sh -c '");
    ASSERT_NE(execStart, std::string::npos) << unit;
    const std::string execLine = unit.substr(execStart, unit.find('\n', execStart + 1) + 1 - execStart);
    EXPECT_TRUE(execLine.ends_with("' " + command.substr(0, command.size() - redirect.size()) + "\n")) << execLine;
    EXPECT_NE(unit.find("\nStandardOutput=null\n"), std::string::npos);
    EXPECT_NE(section.find("\nsystemctl enable --now sumvane-check@$(systemd-escape -p /srv/photos).timer\n"),
              std::string::npos);

    Sandbox box;
    const fs::path photos = box.root() / "srv" / "photos";
    const fs::path logs = box.root() / "var" / "log" / "sumvane";
    const std::vector<Recorded> files = {{"2026/harbour.jpg", "harbour", ""}, {"index.txt", "index", ""}};
    MakeTree(photos, files);
    // The program started as "$0" by the shell, the folders those of the sandbox.
    const auto shellCommand = [&](std::string line, const std::string& program) {
        line.replace(0, program.size(), "\"$0\"");
        for (const auto& [from, to] : {std::pair<std::string, std::string>{"/srv/photos", photos.string()},
                                       {"/var/log/sumvane", logs.string()}}) {
            for (std::size_t at = 0; (at = line.find(from, at)) != std::string::npos; at += to.size()) {
                line.replace(at, from.size(), to);
            }
        }
        return line;
    };
    RunOptions once;
    once.wrapper = {"/bin/sh", "-c", shellCommand(build[1].str(), "sumvane")};
    RunOptions weekly;
    weekly.wrapper = {"/bin/sh", "-c", shellCommand(command, "/usr/bin/sumvane")};
    weekly.cwd = box.home();
    const fs::path log = logs / LogName(photos.string());

    ExpectRun(box.Run({}, once), 0);
    const std::string summary = ExpectedSummary(photos.string(), photos, files);
    EXPECT_EQ(ReadFile(photos / "Sumvane.md5"), summary);

    RunResult r = box.Run({}, weekly);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    EXPECT_FALSE(fs::exists(log));

    WriteFile(photos / "2026" / "harbour.jpg", "damaged");
    r = box.Run({}, weekly);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    const std::string problem = Mismatch((photos / "2026" / "harbour.jpg").string(), Md5Of("harbour"), Md5Of("damaged"),
                                         MismatchDate(photos / "2026" / "harbour.jpg", photos / "Sumvane.md5"));
    ExpectLogOnStandardError(r.err);  // the log's lines, time stamps and all, then the count
    EXPECT_EQ(LogLines(log), Lines{problem});
    EXPECT_EQ(ReadFile(photos / "Sumvane.md5"), summary);
}

}  // namespace
