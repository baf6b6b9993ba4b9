// Building folder summaries (-f ... -c): which files are recorded, in which
// order and under which path bytes, and what a run leaves behind.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <locale.h>
#include <wctype.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "expectations.h"
#include "harness.h"

using namespace e2e;

namespace {

// Wine lists a folder sorted by name, ignoring case ("." and ".." first),
// with an exact comparison breaking ties.
bool WineListsBefore(const std::string& a, const std::string& b) {
    const auto rank = [](const std::string& n) { return n == "." ? 0 : n == ".." ? 1 : 2; };
    if (rank(a) != rank(b)) return rank(a) < rank(b);
    static const locale_t utf8 = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    const auto wide = [](const std::string& n) {  // UTF-8 to code points
        std::wstring w;
        for (std::size_t i = 0; i < n.size();) {
            const auto byte = static_cast<unsigned char>(n[i]);
            const int extra = byte >= 0xF0 ? 3 : byte >= 0xE0 ? 2 : byte >= 0xC0 ? 1 : 0;
            wchar_t cp = extra == 0 ? byte : byte & (0x3F >> extra);
            for (int k = 1; k <= extra && i + k < n.size(); ++k) cp = (cp << 6) | (n[i + k] & 0x3F);
            w.push_back(cp);
            i += 1 + extra;
        }
        return w;
    };
    const std::wstring wa = wide(a), wb = wide(b);
    const auto upper = [](wchar_t c) { return ::towupper_l(static_cast<wint_t>(c), utf8); };
    const bool less = std::lexicographical_compare(wa.begin(), wa.end(), wb.begin(), wb.end(),
                                                   [&](wchar_t x, wchar_t y) { return upper(x) < upper(y); });
    const bool greater = std::lexicographical_compare(wb.begin(), wb.end(), wa.begin(), wa.end(),
                                                      [&](wchar_t x, wchar_t y) { return upper(x) < upper(y); });
    if (less != greater) return less;
    return a < b;
}

// Position of `name` in the listing of `dir` in the order the program's
// system returns it: readdir's order on Linux (an unchanged folder lists in
// the same order for the program and for us), Wine's sorted order under Wine.
long ListingIndex(const fs::path& dir, const std::string& name) {
    DIR* d = ::opendir(dir.c_str());
    if (d == nullptr) return -1;
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(d)) names.emplace_back(entry->d_name);
    ::closedir(d);
    if (WineMode()) std::stable_sort(names.begin(), names.end(), WineListsBefore);
    const auto found = std::find(names.begin(), names.end(), name);
    return found == names.end() ? -1 : static_cast<long>(found - names.begin());
}

struct Recorded {
    std::string rel;         // below the root, "/"-separated, as named on disk
    std::string content;     // the bytes whose digest is expected
    std::string recordedAs;  // the name part as it appears in the summary, when it differs from `rel`
};

// Walk order of the program: a folder's own files first (in listing order),
// then its subfolders depth-first, each level in listing order.
std::vector<Recorded> InWalkOrder(const fs::path& rootDir, std::vector<Recorded> files) {
    using Key = std::vector<std::pair<int, long>>;
    auto keyOf = [&](const std::string& rel) {
        Key key;
        fs::path dir = rootDir;
        std::size_t start = 0;
        for (;;) {
            const std::size_t slash = rel.find('/', start);
            const std::string part = rel.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
            const long index = ListingIndex(dir, part);
            EXPECT_GE(index, 0) << "not on disk: " << rel;
            if (slash == std::string::npos) {
                key.emplace_back(0, index);  // a file sorts before every subfolder of its folder
                return key;
            }
            key.emplace_back(1, index);
            dir /= part;
            start = slash + 1;
        }
    };
    std::vector<std::pair<Key, Recorded>> keyed;
    for (Recorded& file : files) keyed.emplace_back(keyOf(file.rel), std::move(file));
    std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<Recorded> ordered;
    for (auto& [key, file] : keyed) ordered.push_back(std::move(file));
    return ordered;
}

// How the program spells a recorded file: the -f text, a separator unless it
// already ends in one, then the subfolders and the name.
std::string Spelled(const std::string& rootText, const Recorded& file) {
    std::string path = rootText;
    if (!path.empty() && !path.ends_with(Sep())) path += Sep();
    std::string rel = file.recordedAs.empty() ? file.rel : file.recordedAs;
    if (Sep() != "/") std::replace(rel.begin(), rel.end(), '/', Sep()[0]);
    return path + rel;
}

std::string ExpectedSummary(const std::string& rootText, const fs::path& rootDir, std::vector<Recorded> files) {
    std::string text;
    for (const Recorded& file : InWalkOrder(rootDir, std::move(files))) {
        text += Md5Of(file.content) + " " + Spelled(rootText, file) + "\r\n";
    }
    return text;
}

void MakeTree(const fs::path& root, const std::vector<Recorded>& files) {
    for (const Recorded& file : files) WriteFile(root / file.rel, file.content);
}

std::vector<Recorded> Only(const std::vector<Recorded>& all, const std::vector<std::string>& rels) {
    std::vector<Recorded> chosen;
    for (const std::string& rel : rels) {
        const auto it = std::find_if(all.begin(), all.end(), [&](const Recorded& f) { return f.rel == rel; });
        if (it == all.end()) {
            ADD_FAILURE() << "no such file in the tree: " << rel;
            continue;
        }
        chosen.push_back(*it);
    }
    return chosen;
}

// A tree with two subfolders of equal shape, so that depth-first and
// breadth-first walks differ whatever order the listing gives.
const std::vector<Recorded> kTree = {
    {"a.txt", "alpha\n", ""},
    {"b.bin", std::string("\0\r\n\x1a\xff binary", 12), ""},
    {"one/c.txt", "charlie", ""},
    {"one/deep/d.txt", "delta", ""},
    {"two/e.txt", "echo", ""},
    {"two/deep/f.txt", "", ""},  // an empty file has a digest too
};

struct WalkCase {
    const char* name;
    std::vector<std::string> args;
    bool trailingSeparator;  // -f text ends in the separator
    std::vector<std::string> recorded;
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
    std::vector<std::string> args = {"-f" + rootText, "-c"};
    args.insert(args.end(), c.args.begin(), c.args.end());

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
        WalkCase{"RecursiveDepthFirst", {"-r"}, false, {"a.txt", "b.bin", "one/c.txt", "one/deep/d.txt", "two/e.txt", "two/deep/f.txt"}},
        WalkCase{"RecursiveWithFinalSeparator", {"-r"}, true,
                 {"a.txt", "b.bin", "one/c.txt", "one/deep/d.txt", "two/e.txt", "two/deep/f.txt"}},
        WalkCase{"ExcludedSubtree", {"-r", "-xone"}, false, {"a.txt", "b.bin", "two/e.txt", "two/deep/f.txt"}},
        WalkCase{"ExclusionIgnoresLetterCase", {"-r", "-xONE"}, false, {"a.txt", "b.bin", "two/e.txt", "two/deep/f.txt"}},
        WalkCase{"ExclusionWithFinalSeparatorExcludesNothing", {"-r", "-xone" + Sep()}, false,
                 {"a.txt", "b.bin", "one/c.txt", "one/deep/d.txt", "two/e.txt", "two/deep/f.txt"}},
        WalkCase{"NestedExclusionOnlyThatFolder", {"-r", "-xtwo" + Sep() + "deep"}, false,
                 {"a.txt", "b.bin", "one/c.txt", "one/deep/d.txt", "two/e.txt"}},
        WalkCase{"TwoExclusions", {"-r", "-xone", "-xTwo"}, false, {"a.txt", "b.bin"}},
        WalkCase{"ExclusionIsFromTheRootNotAnyLevel", {"-r", "-xdeep"}, false,
                 {"a.txt", "b.bin", "one/c.txt", "one/deep/d.txt", "two/e.txt", "two/deep/f.txt"}}),
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

TEST(FolderBuild, SummaryNamesAreSkippedInEveryFolderButARewriteIsRecorded) {
    Sandbox box;
    const fs::path root = box.root() / "data";
    const std::vector<Recorded> tree = {
        {"Sumvane.md5", "stale summary of an earlier run\r\n", ""},
        {"Sumvane.md5X", "leftover rewrite\r\n", ""},
        {"a.txt", "a", ""},
        {"sub/Sumvane.md5", "a summary of the subfolder\r\n", ""},
        {"sub/b.txt", "b", ""},
        {"other/SUMVANE.MD5", "upper-case name\r\n", ""},
        {"other/sumvane.md5x", "lower-case rewrite name\r\n", ""},
    };
    MakeTree(root, tree);
    const std::string rootText = Native(root);

    ExpectRun(box.Run({"-f" + rootText, "-c", "-r"}), 0);
    EXPECT_EQ(ReadFile(root / "Sumvane.md5"),
              ExpectedSummary(rootText, root, Only(tree, {"Sumvane.md5X", "a.txt", "sub/b.txt", "other/sumvane.md5x"})));
    // The subfolders' own summaries are left as they were.
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
                                           NothingCase{"OnlyAnOldSummary", false, true},
                                           NothingCase{"MissingRoot", false, false}),
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
              std::vector<std::string>{bPath + " - MD5 Mismatch (" + Md5Of("b") + " - " + Md5Of("changed") + ")"});
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
              std::vector<std::string>{"a.txt - MD5 Mismatch (" + Md5Of("a") + " - " + Md5Of("changed") + ")"});
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
    fs::create_directory_symlink("..", root / "sub" / "loop");           // leads back to the root
    fs::create_directory_symlink(root / "sub", root / "alias");          // a second way into sub
    fs::create_symlink("sub/b.txt", root / "link.txt");                  // a file reached by a link
    std::vector<Recorded> expected = files;
    expected.push_back({"link.txt", "b", ""});
    const std::string rootText = Native(root);

    ExpectRun(box.Run({"-f" + rootText, "-c", "-r"}), 0);
    EXPECT_EQ(ReadFile(root / "Sumvane.md5"), ExpectedSummary(rootText, root, expected));
    ExpectNoLog(box, rootText);

    ExpectRun(box.Run({"-f" + rootText, "-v"}), 0);
    ExpectNoLog(box, rootText);
}

TEST(FolderBuild, FifoIsReportedNotFoundWithoutBlocking) {
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
              std::vector<std::string>{Native(root / "pipe") + " - File Not Found"});
}

enum class Blocker { SummaryIsAFolder, DanglingLink, ReadOnlyRoot };

struct UnwritableCase {
    const char* name;
    Blocker blocker;
};

void PrintTo(const UnwritableCase& c, std::ostream* os) { *os << c.name; }

class UnwritableSummaryTest : public ::testing::TestWithParam<UnwritableCase> {};

TEST_P(UnwritableSummaryTest, EveryFileIsReportedAndTheRunFails) {
    const UnwritableCase& c = GetParam();
    if (c.blocker == Blocker::DanglingLink && WineMode()) GTEST_SKIP() << "symbolic links are Linux objects";
    if (c.blocker == Blocker::ReadOnlyRoot && ::geteuid() == 0) {
        GTEST_SKIP() << "permissions do not stop root from writing";
    }
    Sandbox box;
    const fs::path root = box.root() / "data";
    const std::vector<Recorded> files = {{"a.txt", "a", ""}, {"b.txt", "b", ""}, {"sub/c.txt", "c", ""}};
    MakeTree(root, files);
    switch (c.blocker) {
        case Blocker::SummaryIsAFolder:
            fs::create_directory(root / "Sumvane.md5");
            break;
        case Blocker::DanglingLink:
            fs::create_symlink(box.root() / "no-such-folder" / "Sumvane.md5", root / "Sumvane.md5");
            break;
        case Blocker::ReadOnlyRoot:
            fs::permissions(root, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                      fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
            break;
    }
    const std::string rootText = Native(root);

    ExpectRun(box.Run({"-f" + rootText, "-c", "-r"}), 1);
    std::vector<std::string> expected;
    for (const Recorded& file : InWalkOrder(root, files)) {
        expected.push_back(Spelled(rootText, file) + " - Unable to Write to File");
    }
    EXPECT_EQ(LogLines(box.desktop() / LogName(rootText)), expected);
    EXPECT_FALSE(fs::is_regular_file(root / "Sumvane.md5"));
    EXPECT_FALSE(fs::exists(box.root() / "no-such-folder"));
}

INSTANTIATE_TEST_SUITE_P(Cases, UnwritableSummaryTest,
                         ::testing::Values(UnwritableCase{"SummaryIsAFolder", Blocker::SummaryIsAFolder},
                                           UnwritableCase{"DanglingLink", Blocker::DanglingLink},
                                           UnwritableCase{"ReadOnlyRoot", Blocker::ReadOnlyRoot}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
