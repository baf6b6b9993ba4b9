// Runs that must neither let anything in nor lose anything: the program run
// as root over folders another user owns, killed or interrupted part-way,
// stopped by a resource limit, with its output gone, without /proc.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "expectations.h"
#include "harness.h"
#include "tree.h"

// GCC says so with a macro, clang with a feature test.
#if defined(__SANITIZE_ADDRESS__)
#define SUMVANE_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SUMVANE_ADDRESS_SANITIZER 1
#endif
#endif
#ifndef SUMVANE_ADDRESS_SANITIZER
#define SUMVANE_ADDRESS_SANITIZER 0
#endif

using namespace e2e;

namespace {

const std::string kSecret = "root's own file\n";

// A folder of another user's, and a file of root's outside it that no link
// placed inside may lead a root run to.
struct TheirFolder {
    explicit TheirFolder(const Sandbox& box) : root(box.root() / "theirs"), secret(box.root() / "secret") {
        WriteFile(root / "a.txt", "a");
        WriteFile(secret, kSecret);
        fs::permissions(secret, fs::perms::owner_read);
        GiveToUnprivileged(root);
    }
    void PlantLink(const std::string& name) const {
        fs::create_symlink(secret, root / name);
        GiveToUnprivileged(root / name);
    }
    void ExpectSecretUntouched() const {
        EXPECT_EQ(ReadFile(secret), kSecret);
        EXPECT_EQ(fs::status(secret).permissions(), fs::perms::owner_read);
    }
    std::string Path(const std::string& name) const { return Native(root / name); }

    fs::path root;
    fs::path secret;
};

struct LinkCase {
    const char* name;
    const char* link;                 // the name the folder's owner turned into a link
    std::vector<std::string> before;  // files (name, contents) the run starts with
    std::vector<std::string> args;    // %R is the folder, %A its a.txt
    int exitCode;
    std::string result;  // what `link` holds afterwards; empty: it is gone
};

void PrintTo(const LinkCase& c, std::ostream* os) { *os << c.name; }

class RootOverTheirFolderTest : public ::testing::TestWithParam<LinkCase> {};

// Whatever a root run writes or removes there replaces or removes the link
// itself; the file it points to keeps its bytes and its permissions.
TEST_P(RootOverTheirFolderTest, LinksAreReplacedNeverFollowed) {
    const LinkCase& c = GetParam();
    if (WineMode()) GTEST_SKIP() << "POSIX links and owners";
    if (::geteuid() != 0) GTEST_SKIP() << "needs root, as the case it guards against";
    Sandbox box;
    const TheirFolder theirs(box);
    const auto expand = [&](std::string text) {
        for (const auto& [key, value] : {std::pair<std::string, std::string>{"%R", theirs.Path("")},
                                         {"%A", theirs.Path("a.txt")},
                                         {"%D", Md5Of("a")},
                                         {"%W", Md5Of("wrong")}}) {
            for (std::size_t at; (at = text.find(key)) != std::string::npos;) text.replace(at, key.size(), value);
        }
        return text;
    };
    for (std::size_t i = 0; i + 1 < c.before.size(); i += 2)
        WriteFile(theirs.root / c.before[i], expand(c.before[i + 1]));
    theirs.PlantLink(c.link);
    std::vector<std::string> args;
    for (const std::string& arg : c.args) args.push_back(expand(arg));

    EXPECT_EQ(box.Run(args).exitCode, c.exitCode);
    theirs.ExpectSecretUntouched();
    if (c.result.empty()) {
        EXPECT_FALSE(fs::exists(fs::symlink_status(theirs.root / c.link)));
    } else {
        EXPECT_FALSE(fs::is_symlink(theirs.root / c.link));
        EXPECT_EQ(ReadFile(theirs.root / c.link), expand(c.result));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RootOverTheirFolderTest,
    ::testing::Values(
        LinkCase{"Summary", "Sumvane.md5", {}, {"-f%R", "-c"}, 0, "%D %Ra.txt\r\n"},
        LinkCase{"Rewrite", "Sumvane.md5X", {"Sumvane.md5", "%W %Ra.txt\r\n"}, {"-f%R", "-vc"}, 1, "%D %Ra.txt\r\n"},
        LinkCase{"OldRewriteRemoved", "Sumvane.md5X", {"Sumvane.md5", "%D %Ra.txt\r\n"}, {"-f%R", "-v"}, 0, ""},
        LinkCase{"Companion", "a.txt.md5", {}, {"-n%A", "-c"}, 0, "%D"},
        LinkCase{"CompanionRewrite", "a.txt.md5x", {"a.txt.md5", "%W"}, {"-n%A", "-vc"}, 1, "%D"}),
    [](const auto& info) { return std::string(info.param.name); });

// The owner of the folder renames things while root works in it, at the
// one moment that would redirect the run: a subfolder turned into a link
// after it was listed, the folder itself after the run resolved it, the log
// folder between two lines. Nothing of root's may be read into their
// summary, or written over, or appended to.

struct SwapCase {
    const char* name;
    const char* swapped;  // below the sandbox: the folder moved away and replaced by a link to root's
    const char* at;       // the open that sets the swap off (see stand-ins/at_open.cpp)
    int count;
    std::vector<std::string> args;  // %R their folder, %L their log folder
    int exitCode;
    std::vector<std::string> log;  // what their log holds afterwards; %M: the moved folder
    std::string summary;           // their summary afterwards; "%old": as it was
};

void PrintTo(const SwapCase& c, std::ostream* os) { *os << c.name; }

class RootWhileTheyRenameTest : public ::testing::TestWithParam<SwapCase> {};

TEST_P(RootWhileTheyRenameTest, NothingOfRootsIsReadOrWritten) {
    const SwapCase& c = GetParam();
    if (WineMode()) GTEST_SKIP() << "POSIX links and owners";
    if (::geteuid() != 0) GTEST_SKIP() << "needs root, as the case it guards against";
    Sandbox box;
    const fs::path theirs = box.root() / "theirs";
    const fs::path logs = box.root() / "theirlogs";
    const std::string rootText = Native(theirs);
    const std::string logName = LogName(rootText);
    // Root's own folder: a private file, root's summary of another archive,
    // and a file with the log's name that is no log.
    const fs::path mine = box.root() / "mine";
    WriteFile(mine / "shadow", "root:secret:1:0\n");
    WriteFile(mine / "Sumvane.md5", "root's summary of another archive\r\n");
    WriteFile(mine / logName, kSecret);
    fs::permissions(mine, fs::perms::owner_all);
    WriteFile(theirs / "a.txt", "a");
    WriteFile(theirs / "sub" / "b.txt", "b");
    WriteFile(theirs / "Sumvane.md5",
              Md5Of("a") + " " + rootText + "/gone1\r\n" + Md5Of("a") + " " + rootText + "/gone2\r\n");
    fs::create_directories(logs);
    GiveToUnprivileged(theirs);
    GiveToUnprivileged(logs);
    const auto before = [&](const fs::path& path) { return ReadFile(path); };
    const auto mineBefore = std::vector{before(mine / "shadow"), before(mine / "Sumvane.md5"), before(mine / logName)};

    const fs::path swapped = box.root() / c.swapped;
    const fs::path moved = swapped.string() + ".moved";
    const std::string oldSummary = ReadFile(theirs / "Sumvane.md5").value();
    RunOptions attacked;
    attacked.env = {{"LD_PRELOAD", SUMVANE_AT_OPEN_LIBRARY},
                    {"SUMVANE_SWAP_NAME", c.at == std::string("%N") ? logName : c.at},
                    {"SUMVANE_SWAP_COUNT", std::to_string(c.count)},
                    {"SUMVANE_SWAP_FOLDER", swapped.string()},
                    {"SUMVANE_SWAP_MOVED", moved.string()},
                    {"SUMVANE_SWAP_LINK", mine.string()},
                    {"ASAN_OPTIONS", WithLinkOrderUnchecked()}};
    std::vector<std::string> args;
    for (std::string arg : c.args) {
        for (const auto& [key, value] : {std::pair<std::string, std::string>{"%R", rootText}, {"%L", Native(logs)}}) {
            for (std::size_t at; (at = arg.find(key)) != std::string::npos;) arg.replace(at, key.size(), value);
        }
        args.push_back(arg);
    }
    const RunResult r = box.Run(args, attacked);
    EXPECT_EQ(r.err.find("the swap failed"), std::string::npos) << r.err;
    ASSERT_TRUE(fs::is_symlink(swapped)) << "the swap was set off";
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    EXPECT_EQ((std::vector{before(mine / "shadow"), before(mine / "Sumvane.md5"), before(mine / logName)}), mineBefore);
    EXPECT_EQ(r.err.find("secret"), std::string::npos) << r.err;
    // Their summary is in the folder the run resolved, and names none of
    // root's files; a build that could not read a folder kept the old one.
    const fs::path resolved = c.swapped == std::string("theirs") ? moved : theirs;
    std::string summary = c.summary == "%old" ? oldSummary : c.summary;
    for (std::size_t at; (at = summary.find("%R")) != std::string::npos;) summary.replace(at, 2, rootText);
    for (std::size_t at; (at = summary.find("%a")) != std::string::npos;) summary.replace(at, 2, Md5Of("a"));
    for (std::size_t at; (at = summary.find("%b")) != std::string::npos;) summary.replace(at, 2, Md5Of("b"));
    EXPECT_EQ(ReadFile(resolved / "Sumvane.md5"), summary);
    const fs::path logFolder = c.swapped == std::string("theirlogs") ? moved : box.desktop();
    std::vector<std::string> expected;
    for (std::string line : c.log) {
        for (std::size_t at; (at = line.find("%R")) != std::string::npos;) line.replace(at, 2, rootText);
        for (std::size_t at; (at = line.find("%M")) != std::string::npos;) line.replace(at, 2, Native(moved));
        expected.push_back(line);
    }
    EXPECT_EQ(LogLines(logFolder / logName), expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, RootWhileTheyRenameTest,
                         ::testing::Values(
                             // Listed as a folder, a link when it is opened: not entered.
                             SwapCase{"SubfolderBecomesALink",
                                      "theirs/sub",
                                      "sub",
                                      1,
                                      {"-f%R", "-r", "-c"},
                                      1,
                                      {"%R/sub/ - Unable to Read Folder"},
                                      "%old"},
                             // Their folder moved away once the run holds it: the summary goes
                             // into the folder the run resolved, never into root's.
                             SwapCase{"TheirFolderBecomesALink",
                                      "theirs",
                                      "*.sumvane-|*Sumvane.md5.tmp-",
                                      1,
                                      {"-f%R", "-r", "-c"},
                                      0,
                                      {},
                                      "%a %R/a.txt\r\n%b %R/sub/b.txt\r\n"},
                             // Their log folder turned into a link between two lines: the second
                             // line goes where the first went.
                             SwapCase{"LogFolderBecomesALink",
                                      "theirlogs",
                                      "%N",
                                      3,
                                      {"-f%R", "-v", "-o%L"},
                                      1,
                                      {"%R/gone1 - File Not Found", "%R/gone2 - File Not Found"},
                                      "%old"}),
                         [](const auto& info) { return std::string(info.param.name); });

// The help page goes to the temporary folder, which every user shares, and
// the log may fall back there: neither is written through a link.
TEST(RootOverTheirFolder, SharedFilesAreNotWrittenThroughALink) {
    if (WineMode()) GTEST_SKIP() << "POSIX links";
    Sandbox box;
    WriteFile(box.root() / "secret", kSecret);
    fs::permissions(box.root() / "secret", fs::perms::owner_read);
    fs::create_symlink(box.root() / "secret", box.tmp() / "Sumvane.html");
    fs::create_symlink(box.root() / "secret", box.tmp() / "Sumvane.txt");

    EXPECT_EQ(box.Run({}).exitCode, 0);
    EXPECT_FALSE(fs::is_symlink(box.tmp() / "Sumvane.html"));
    EXPECT_EQ(ReadFile(box.tmp() / "Sumvane.html"), ReadFile(SUMVANE_HELP_PAGE_FILE));

    // No desktop (no home): the log would go to the temporary folder.
    RunOptions homeless;
    homeless.env = {{"HOME", ""}};
    const RunResult r = box.Run({"-n" + Native(box.work() / "missing")}, homeless);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find(Native(box.work() / "missing") + " - File Not Found"), std::string::npos) << r.err;
    EXPECT_TRUE(fs::is_symlink(box.tmp() / "Sumvane.txt"));
    EXPECT_EQ(ReadFile(box.root() / "secret"), kSecret);
    EXPECT_EQ(fs::status(box.root() / "secret").permissions(), fs::perms::owner_read);
}

// Root over another user's folder reads outside it only what that user could
// read: a path the user's summary names elsewhere, or the file a link in the
// folder leads to. Root's own file outside is an unreadable one, its digest
// written nowhere; inside the folder everything reads as always, through a
// link too.
TEST(RootOverTheirFolder, OutsideTheFolderOnlyWhatItsOwnerCouldReadIsRead) {
    if (WineMode()) GTEST_SKIP() << "POSIX owners";
    if (::geteuid() != 0) GTEST_SKIP() << "needs root, as the case it guards against";
    Sandbox box;
    if (const std::string why = box.unprivilegedUnavailable(); !why.empty()) GTEST_SKIP() << why;
    const TheirFolder theirs(box);
    const fs::path open = box.root() / "open.txt";
    WriteFile(open, "anyone may read this");
    WriteFile(theirs.root / "root-only.txt", "root's, inside their folder");
    fs::permissions(theirs.root / "root-only.txt", fs::perms::owner_read);
    theirs.PlantLink("to-secret");
    for (const auto& [name, target] : {std::pair{"to-open", open}, {"to-inside", fs::path("root-only.txt")}}) {
        fs::create_symlink(target, theirs.root / name);
        GiveToUnprivileged(theirs.root / name);
    }
    const std::string secretDigest = Md5Of(kSecret);

    RunResult r = box.Run({"-f" + theirs.Path(""), "-c"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(LogLines(box.desktop() / LogName(theirs.Path(""))),
              std::vector<std::string>{theirs.Path("to-secret") + " - Error computing MD5"});
    const auto line = [&](const std::string& content, const std::string& name) {
        return Md5Of(content) + " " + theirs.Path(name) + "\r\n";
    };
    EXPECT_EQ(ReadFile(theirs.root / "Sumvane.md5"),
              line("a", "a.txt") + line("root's, inside their folder", "root-only.txt") +
                  line("root's, inside their folder", "to-inside") + line("anyone may read this", "to-open"));
    EXPECT_EQ(r.err.find(secretDigest), std::string::npos) << r.err;

    // Their summary naming root's file, and one anyone may read, elsewhere.
    WriteFile(theirs.root / "Sumvane.md5", Md5Of("a guess") + " " + Native(theirs.secret) + "\r\n" +
                                               Md5Of("anyone may read this") + " " + Native(open) + "\r\n");
    GiveToUnprivileged(theirs.root / "Sumvane.md5");
    r = box.Run({"-f" + theirs.Path(""), "-vc"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(LogLines(box.desktop() / LogName(theirs.Path(""))),
              std::vector<std::string>{Native(theirs.secret) + " - Error computing MD5"});
    const std::optional<std::string> rewrite = ReadFile(theirs.root / "Sumvane.md5X");
    EXPECT_EQ(rewrite, ReadFile(theirs.root / "Sumvane.md5"));  // the recorded digests, nothing of root's file
    EXPECT_EQ(r.err.find(secretDigest), std::string::npos) << r.err;
    theirs.ExpectSecretUntouched();
}

// Run as root over root's own folder, whoever could have put a link or a
// summary's line there decides what root reads through it outside the
// folder: the owner of the folder holding the link, anyone at all where that
// folder is root's and others may write it, the summary's writer, the folder
// of a file named alone. A link root alone could have put there still reads.
struct PlacedCase {
    const char* name;
    // What the run starts with below root's folder, each path with its
    // contents ("->" and a target: a link; "/": a folder), and "theirs" or
    // an octal mode (or nothing) after it. %S root's file outside, %G a
    // guessed digest of it, %A a.txt's digest, %R the folder.
    std::vector<std::vector<std::string>> placed;
    std::vector<std::string> args;
    int exitCode;
    std::vector<std::string> log;
    std::vector<std::string> after;  // files (name, contents; "" none) afterwards
};

void PrintTo(const PlacedCase& c, std::ostream* os) { *os << c.name; }

class RootOverItsOwnFolderTest : public ::testing::TestWithParam<PlacedCase> {};

TEST_P(RootOverItsOwnFolderTest, OutsideItReadsOnlyWhatWhoeverPutTheLinkOrLineThereCould) {
    const PlacedCase& c = GetParam();
    if (WineMode()) GTEST_SKIP() << "POSIX owners";
    if (::geteuid() != 0) GTEST_SKIP() << "needs root, as the case it guards against";
    Sandbox box;
    if (const std::string why = box.unprivilegedUnavailable(); !why.empty()) GTEST_SKIP() << why;
    const fs::path ours = box.root() / "ours";
    const fs::path secret = box.root() / "secret";
    WriteFile(secret, kSecret);
    fs::permissions(secret, fs::perms::owner_read);
    WriteFile(ours / "a.txt", "a");
    fs::permissions(ours, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);  // root's alone to write
    const std::string secretDigest = Md5Of(kSecret);
    const auto expand = [&](std::string text) {
        for (const auto& [key, value] : {std::pair<std::string, std::string>{"%S", Native(secret)},
                                         {"%G", Md5Of("a guess")},
                                         {"%A", Md5Of("a")},
                                         {"%D", secretDigest},
                                         {"%R", Native(ours)}}) {
            for (std::size_t at; (at = text.find(key)) != std::string::npos;) text.replace(at, key.size(), value);
        }
        return text;
    };
    for (const std::vector<std::string>& entry : c.placed) {
        const fs::path path = ours / entry[0];
        if (entry[1] == "/") {
            fs::create_directories(path);
        } else if (entry[1].starts_with("->")) {
            fs::create_symlink(expand(entry[1].substr(2)), path);
        } else {
            WriteFile(path, expand(entry[1]));
        }
        if (entry.size() < 3) continue;
        if (entry[2] == "theirs") {
            GiveToUnprivileged(path);
        } else {
            fs::permissions(path, static_cast<fs::perms>(std::stoi(entry[2], nullptr, 8)));
        }
    }
    std::vector<std::string> args;
    for (const std::string& arg : c.args) args.push_back(expand(arg));

    const RunResult r = box.Run(args);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    const std::string logName = c.args[0].starts_with("-n") ? "Sumvane.txt" : LogName(Native(ours));
    std::vector<std::string> log;
    for (const std::string& line : c.log) log.push_back(expand(line));
    EXPECT_EQ(LogLines(box.desktop() / logName), log);
    for (std::size_t i = 0; i + 1 < c.after.size(); i += 2) {
        const std::optional<std::string> contents = ReadFile(ours / c.after[i]);
        if (c.after[i + 1].empty()) {
            EXPECT_FALSE(contents) << c.after[i];
        } else {
            EXPECT_EQ(contents, expand(c.after[i + 1])) << c.after[i];
        }
    }
    // Nowhere else either: no file the run wrote (its log in UTF-16), nor
    // standard error, holds the digest of a file it was not to read.
    if (c.after.empty() || c.after.back().find("%D") == std::string::npos) {
        EXPECT_EQ(r.err.find(secretDigest), std::string::npos) << r.err;
        std::string wide;
        for (const char digit : secretDigest) wide += std::string{digit, '\0'};
        for (const auto& file : fs::recursive_directory_iterator(box.root())) {
            if (!file.is_regular_file() || file.path() == secret) continue;
            const std::string bytes = ReadFile(file.path()).value_or("");
            EXPECT_EQ(bytes.find(secretDigest), std::string::npos) << file.path();
            EXPECT_EQ(bytes.find(wide), std::string::npos) << file.path();
        }
    }
    EXPECT_EQ(ReadFile(secret), kSecret);
}

INSTANTIATE_TEST_SUITE_P(Cases, RootOverItsOwnFolderTest,
                         ::testing::Values(PlacedCase{"LinkInTheirSubfolder",
                                                      {{"sub", "/", "theirs"}, {"sub/notes.txt", "->%S", "theirs"}},
                                                      {"-f%R", "-r", "-c"},
                                                      1,
                                                      {"%R/sub/notes.txt - Error computing MD5"},
                                                      {"Sumvane.md5", "%A %R/a.txt\r\n"}},
                                           PlacedCase{"LinkInASubfolderAnyoneMayWrite",
                                                      {{"sub", "/", "777"}, {"sub/notes.txt", "->%S"}},
                                                      {"-f%R", "-r", "-c"},
                                                      1,
                                                      {"%R/sub/notes.txt - Error computing MD5"},
                                                      {"Sumvane.md5", "%A %R/a.txt\r\n"}},
                                           PlacedCase{"SummaryTheyWrote",
                                                      {{"Sumvane.md5", "%G %S\r\n%A %R/a.txt\r\n", "theirs"}},
                                                      {"-f%R", "-vc"},
                                                      1,
                                                      {"%S - Error computing MD5"},
                                                      {"Sumvane.md5X", "%G %S\r\n%A %R/a.txt\r\n"}},
                                           PlacedCase{"SummaryItsGroupMayWrite",
                                                      {{"Sumvane.md5", "%G %S\r\n%A %R/a.txt\r\n", "664"}},
                                                      {"-f%R", "-vc"},
                                                      1,
                                                      {"%S - Error computing MD5"},
                                                      {"Sumvane.md5X", "%G %S\r\n%A %R/a.txt\r\n"}},
                                           PlacedCase{"TheirFileNamedAloneChecked",
                                                      {{"x", "/", "theirs"},
                                                       {"x/disk.img", "->%S", "theirs"},
                                                       {"x/disk.img.md5", "%G", "theirs"}},
                                                      {"-n%R/x/disk.img", "-vc"},
                                                      1,
                                                      {"%R/x/disk.img - Error computing MD5"},
                                                      {"x/disk.img.md5", "%G", "x/disk.img.md5x", ""}},
                                           PlacedCase{"TheirFileNamedAloneRecorded",
                                                      {{"x", "/", "theirs"}, {"x/disk.img", "->%S", "theirs"}},
                                                      {"-n%R/x/disk.img", "-c"},
                                                      1,
                                                      {"%R/x/disk.img - Error computing MD5"},
                                                      {"x/disk.img.md5", ""}},
                                           // Root's own link, in a folder root alone may write: read as always.
                                           PlacedCase{"RootsOwnLink",
                                                      {{"notes.txt", "->%S"}},
                                                      {"-f%R", "-c"},
                                                      0,
                                                      {},
                                                      {"Sumvane.md5", "%A %R/a.txt\r\n%D %R/notes.txt\r\n"}}),
                         [](const auto& info) { return std::string(info.param.name); });

// A summary, rewrite or companion that is a link is never read through: it
// is the summary's problem, and what the link leads to reaches nobody.
TEST(RootOverTheirFolder, ASummaryThatIsALinkIsNotReadThrough) {
    if (WineMode()) GTEST_SKIP() << "POSIX links";
    Sandbox box;
    const TheirFolder theirs(box);
    // Root's file looks like a summary naming one of root's own paths.
    WriteFile(theirs.secret, Md5Of("x") + " /root/private-name\r\n");
    fs::permissions(theirs.secret, fs::perms::owner_read);
    theirs.PlantLink("Sumvane.md5");
    for (const char* verify : {"-v", "-vc"}) {
        const RunResult r = box.Run({"-f" + theirs.Path(""), verify});
        EXPECT_EQ(r.exitCode, 1) << verify;
        EXPECT_EQ(r.err.find("private-name"), std::string::npos) << r.err;
        EXPECT_EQ(LogLines(box.desktop() / LogName(theirs.Path(""))),
                  std::vector<std::string>{theirs.Path("Sumvane.md5") + " - Missing Data"});
        EXPECT_TRUE(fs::is_symlink(theirs.root / "Sumvane.md5"));
        EXPECT_FALSE(fs::exists(fs::symlink_status(theirs.root / "Sumvane.md5X")));
    }
    theirs.PlantLink("a.txt.md5");
    const RunResult r = box.Run({"-n" + theirs.Path("a.txt"), "-v"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(LogLines(box.desktop() / "Sumvane.txt"),
              std::vector<std::string>{theirs.Path("a.txt") + " - Missing Data"});
}

// A replaced summary, rewrite or companion keeps the old file's mode and,
// run as root, its owner and group: a summary its owner kept private stays
// private and theirs. One made new gets the usual mode.
TEST(RootOverTheirFolder, AReplacedFileKeepsItsModeAndOwner) {
    if (WineMode()) GTEST_SKIP() << "POSIX owners";
    if (::geteuid() != 0) GTEST_SKIP() << "needs root, as the case it guards against";
    Sandbox box;
    const TheirFolder theirs(box);
    WriteFile(theirs.root / "Sumvane.md5", Md5Of("wrong") + " " + theirs.Path("a.txt") + "\r\n");
    WriteFile(theirs.root / "Sumvane.md5X", "an old rewrite\r\n");
    const struct {
        const char* name;
        fs::perms mode;
    } files[] = {{"Sumvane.md5", fs::perms::owner_read | fs::perms::owner_write},
                 {"Sumvane.md5X", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read},
                 {"a.txt.md5", fs::perms::owner_read}};
    const auto giveAway = [&](const auto& file) {
        GiveToUnprivileged(theirs.root / file.name);
        fs::permissions(theirs.root / file.name, file.mode);
    };
    giveAway(files[0]);
    giveAway(files[1]);
    EXPECT_EQ(box.Run({"-f" + theirs.Path(""), "-vc"}).exitCode, 1);  // rewrites Sumvane.md5X
    EXPECT_EQ(box.Run({"-f" + theirs.Path(""), "-c"}).exitCode, 0);   // replaces Sumvane.md5
    WriteFile(theirs.root / "a.txt.md5", Md5Of("wrong"));
    giveAway(files[2]);
    EXPECT_EQ(box.Run({"-n" + theirs.Path("a.txt"), "-c"}).exitCode, 0);
    for (const auto& file : files) {
        SCOPED_TRACE(file.name);
        struct stat st {};
        ASSERT_EQ(::lstat((theirs.root / file.name).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, static_cast<mode_t>(file.mode));
        EXPECT_EQ(st.st_uid, UnprivilegedUser());
        EXPECT_EQ(st.st_gid, UnprivilegedGroup());
    }
    EXPECT_EQ(ReadFile(theirs.root / "Sumvane.md5"), Md5Of("a") + " " + theirs.Path("a.txt") + "\r\n");
    EXPECT_EQ(ReadFile(theirs.root / "a.txt.md5"), Md5Of("a"));

    fs::remove(theirs.root / "a.txt.md5");
    EXPECT_EQ(box.Run({"-n" + theirs.Path("a.txt"), "-c"}).exitCode, 0);
    struct stat st {};
    ASSERT_EQ(::lstat((theirs.root / "a.txt.md5").c_str(), &st), 0);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(st.st_mode & 0777, 0644 & ~mask);
    EXPECT_EQ(st.st_uid, 0u);
}

// The log and the JSON report of a run as root over a folder only its owner
// reads name that folder's files: made new in a folder everyone reads, they
// are for their owner and that folder's group alone; an existing one keeps
// its mode, as a summary does, and so does the metrics file.
TEST(RootOverTheirFolder, ALogOrReportNamingAPrivateFolderIsNotForEveryone) {
    if (WineMode()) GTEST_SKIP() << "POSIX owners";
    if (::geteuid() != 0) GTEST_SKIP() << "needs root, as the case it guards against";
    Sandbox box;
    const TheirFolder theirs(box);
    WriteFile(theirs.root / "Sumvane.md5", Md5Of("wrong") + " " + theirs.Path("private-name.txt") + "\r\n");
    GiveToUnprivileged(theirs.root / "Sumvane.md5");
    fs::permissions(theirs.root, fs::perms::owner_all);
    const fs::path logs = box.root() / "logs";  // 0755, root's, in the group of those who read the logs
    fs::create_directories(logs);
    ASSERT_EQ(::chown(logs.c_str(), 0, UnprivilegedGroup()), 0);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    const fs::path log = logs / LogName(theirs.Path(""));
    const std::vector<std::string> args = {"-f" + theirs.Path(""), "-v", "-o" + Native(logs),
                                           "-m" + Native(logs / "photos.prom"), "-j" + Native(logs / "photos.json")};
    const auto expectMode = [](const fs::path& file, mode_t mode, gid_t group) {
        SCOPED_TRACE(file.filename().string());
        struct stat st {};
        ASSERT_EQ(::lstat(file.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, mode);
        EXPECT_EQ(st.st_gid, group);
    };

    EXPECT_EQ(box.Run(args).exitCode, 1);
    ASSERT_EQ(LogLines(log), std::vector<std::string>{theirs.Path("private-name.txt") + " - File Not Found"});
    // The figures name no file, and their collector reads them as a user
    // of its own: they are made as any new file is.
    expectMode(logs / "photos.prom", 0644 & ~mask, 0);
    for (const fs::path& file : {log, logs / "photos.prom", logs / "photos.json"}) {
        if (file.extension() != ".prom") expectMode(file, 0640 & ~mask, UnprivilegedGroup());
        fs::permissions(
            file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
        ASSERT_EQ(::chown(file.c_str(), 0, 0), 0);
    }
    EXPECT_EQ(box.Run(args).exitCode, 1);
    for (const fs::path& file : {log, logs / "photos.prom", logs / "photos.json"}) expectMode(file, 0644, 0);
}

// Started with standard error closed, as some service managers start a
// program: nothing the run opens takes its number, so no log line can end up
// in a summary.
TEST(Output, AClosedStandardErrorTakesNoFilesPlace) {
    if (WineMode()) GTEST_SKIP() << "POSIX descriptors";
    Sandbox box;
    const fs::path root = box.root() / "data";
    WriteFile(root / "a.txt", "a");
    ASSERT_EQ(::mkfifo((root / "pipe").c_str(), 0644), 0);  // no file: a log line
    const std::string rootText = Native(root);
    RunOptions closed;
    closed.errorClosed = true;
    EXPECT_EQ(box.Run({"-f" + rootText, "-c"}, closed).exitCode, 1);
    EXPECT_EQ(ReadFile(root / "Sumvane.md5"), Md5Of("a") + " " + rootText + "/a.txt\r\n");
    EXPECT_EQ(LogLines(box.desktop() / LogName(rootText)),
              std::vector<std::string>{rootText + "/pipe - Error computing MD5"});
    EXPECT_EQ(box.Run({"-f" + rootText, "-v"}, closed).exitCode, 0);
}

// A FIFO where the desktop's configuration is (under sudo -E, root keeps a
// user's HOME) does not stop the run: the file is read only when it is one.
TEST(Configuration, AFifoInPlaceOfTheDesktopSettingsIsNotWaitedFor) {
    if (WineMode()) GTEST_SKIP() << "POSIX desktop settings";
    Sandbox box;
    fs::create_directories(box.home() / ".config");
    ASSERT_EQ(::mkfifo((box.home() / ".config" / "user-dirs.dirs").c_str(), 0644), 0);
    const fs::path missing = box.work() / "missing.txt";
    const auto started = std::chrono::steady_clock::now();
    RunOptions watched;
    watched.env = {{"XDG_DESKTOP_DIR", ""}, {"XDG_CONFIG_HOME", ""}};
    bool killed = false;
    watched.whileRunning = [&](pid_t pid) {
        if (!killed && std::chrono::steady_clock::now() - started > std::chrono::seconds(30))
            killed = ::kill(pid, SIGKILL) == 0;
    };
    const RunResult r = box.Run({"-n" + Native(missing)}, watched);
    EXPECT_FALSE(killed) << "the run waited on the FIFO";
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(LogLines(box.home() / "Desktop" / "Sumvane.txt"),
              std::vector<std::string>{Native(missing) + " - File Not Found"});
}

// Control characters in a name reach a terminal as escapes: a hostile name
// cannot retitle or clear it, or fake a line. The log keeps the name.
TEST(Output, ControlCharactersOfNamesReachStandardErrorEscaped) {
    if (WineMode()) GTEST_SKIP() << "POSIX names";
    Sandbox box;
    const fs::path root = box.root() / "data";
    // ESC and BEL sequences, a C1 CSI in UTF-8 and as a lone byte.
    const std::string evil =
        "evil\x1b]0;owned\x07\x1b[2J\xc2\x9b"
        "1m\x9b"
        "2m.txt";
    WriteFile(root / evil, "a");
    const std::string rootText = Native(root);
    ExpectRun(box.Run({"-f" + rootText, "-c"}), 0);
    WriteFile(root / evil, "b");
    const RunResult r = box.Run({"-f" + rootText, "-v"});
    ExpectRun(r, 1);
    for (const char control : {'\x1b', '\x07'}) EXPECT_EQ(r.err.find(control), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("/evil\\x1b]0;owned\\x07\\x1b[2J\\u009b1m\\x9b2m.txt - MD5 Mismatch"), std::string::npos)
        << r.err;
    const std::vector<std::string> log = LogLines(box.desktop() / LogName(rootText));
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find("evil\x1b]0;owned\x07\x1b[2J\xc2\x9b"
                          "1m\xed\xb2\x9b"
                          "2m.txt"),
              std::string::npos)
        << "the log keeps the name";
}

// Standard error is UTF-8 throughout: a name's byte that is not UTF-8 is an
// escape there, as a control character is, and the log keeps the name. A
// command line's note names what was typed the same way.
TEST(Output, BytesThatAreNotUtf8AndNotesReachStandardErrorEscaped) {
    if (WineMode()) GTEST_SKIP() << "POSIX names";
    Sandbox box;
    const fs::path root = box.root() / "data";
    WriteFile(root / "caf\xe9.txt", "a");
    const std::string rootText = Native(root);
    const RunResult built = box.Run({"-f" + rootText, "-c", "-xold\x1b[2J/"});
    EXPECT_EQ(built.exitCode, 0);
    EXPECT_EQ(built.err,
              "sumvane: -xold\\x1b[2J/ leaves nothing out: name the folder without a separator at its end\n");
    WriteFile(root / "caf\xe9.txt", "b");
    const RunResult r = box.Run({"-f" + rootText, "-v"});
    ExpectRun(r, 1);
    EXPECT_EQ(r.err.find('\xe9'), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("/caf\\xe9.txt - MD5 Mismatch"), std::string::npos) << r.err;
    const std::vector<std::string> log = LogLines(box.desktop() / LogName(rootText));
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find("caf\xed\xb3\xa9.txt"), std::string::npos) << "the log keeps the name";
}

// A build killed part-way leaves the previous summary exactly as it was: a
// kill that cannot be caught leaves its temporary file for the next build to
// remove; every signal that stops a run (a terminal's keys, a closed
// terminal, a timer, a script's) removes it, says so and fails the run.
TEST(Interrupted, ABuildStoppedPartWayLeavesThePreviousSummary) {
    if (WineMode()) GTEST_SKIP() << "POSIX signals";
    Sandbox box;
    const fs::path root = box.root() / "data";
    for (int i = 0; i < 24; ++i) WriteFile(root / ("f" + std::to_string(10 + i) + ".bin"), std::string(1000, 'a' + i));
    const std::string rootText = Native(root);
    ExpectRun(box.Run({"-f" + rootText, "-c"}), 0);
    const auto summary = ReadFile(root / "Sumvane.md5");
    ASSERT_TRUE(summary);

    // SIGKILL last: the temporary file it leaves would look like a new one.
    for (const int signal : {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGALRM, SIGUSR1, SIGUSR2, SIGKILL}) {
        SCOPED_TRACE(::strsignal(signal));
        bool sent = false;
        RunOptions killer;
        // The last file takes long to open: the new summary is part-way. One
        // hashing thread takes the files in the line's order (not a disk's,
        // which opens a window of files before it reads any), so the first
        // are done by then and the new summary's temporary file is there.
        killer.env = {{"LD_PRELOAD", SUMVANE_AT_OPEN_LIBRARY},
                      {"SUMVANE_PAUSE_NAME", "f33.bin"},
                      {"SUMVANE_PAUSE_SECONDS", "60"},
                      {"SUMVANE_THREADS", "1"},
                      {"SUMVANE_DISK_ORDER", "0"},
                      {"ASAN_OPTIONS", WithLinkOrderUnchecked()}};
        killer.whileRunning = [&](pid_t pid) {
            if (!sent && HasTemporaryFile(root)) sent = ::kill(pid, signal) == 0;
        };
        const RunResult r = box.Run({"-f" + rootText, "-c"}, killer);
        ASSERT_TRUE(sent) << "the build ended before it could be stopped";
        EXPECT_EQ(r.exitCode, signal == SIGKILL ? 128 + SIGKILL : 1);
        EXPECT_EQ(r.err,
                  signal == SIGKILL ? "" : "sumvane: interrupted; " + rootText + "/Sumvane.md5 left as it was\n");
        EXPECT_EQ(ReadFile(root / "Sumvane.md5"), summary);
        EXPECT_EQ(HasTemporaryFile(root), signal == SIGKILL);
        ExpectRun(box.Run({"-f" + rootText, "-v"}), 0);
    }
    ExpectRun(box.Run({"-f" + rootText, "-c"}), 0);
    EXPECT_FALSE(HasTemporaryFile(root));
    EXPECT_EQ(ReadFile(root / "Sumvane.md5"), summary);
}

// A repair from a copy (-b) killed at any moment, over and over: the
// damaged file's place holds the damaged bytes or the good ones, whole; the
// run after it heals what is still damaged and leaves no temporary file.
TEST(Interrupted, ARepairKilledAtAnyMomentLeavesAWholeFileAndTheNextRunHeals) {
    if (WineMode()) GTEST_SKIP() << "SIGKILL of the Linux program";
    Sandbox box;
    const fs::path root = box.root() / "data";
    const fs::path copy = box.root() / "copy";
    std::string good(32 << 20, '\0');
    for (std::size_t i = 0; i < good.size(); ++i) good[i] = static_cast<char>((i * 7919) >> 9);
    std::string damaged = good;
    damaged[damaged.size() / 2] ^= 0x40;
    WriteFile(root / "big.bin", good);
    WriteFile(root / "small.txt", "small");
    const std::string rootText = Native(root);
    ExpectRun(box.Run({"-f" + rootText, "-c"}), 0);
    ASSERT_EQ(std::system(("cp -a '" + root.string() + "' '" + copy.string() + "'").c_str()), 0);
    const WriteTime date = WriteTimeOf(root / "big.bin");
    const std::vector<std::string> heal = {"-f" + rootText, "-v", "-b" + Native(copy)};

    int killed = 0;
    for (int round = 0; round < 24; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        if (ReadFile(root / "big.bin") != damaged) {
            WriteFile(root / "big.bin", damaged);
            SetWriteTime(root / "big.bin", date);
        }
        // Even rounds: killed while the copy's bytes are written beside the
        // file; odd ones: after a growing time, anywhere from the check to
        // the rename.
        int calls = 0;
        bool sent = false;
        RunOptions killer;
        killer.whileRunning = [&](pid_t pid) {
            ++calls;
            const bool now = round % 2 == 0 ? HasTemporaryFile(root) : calls > round / 2;
            if (!sent && now) sent = ::kill(pid, SIGKILL) == 0;
        };
        const RunResult r = box.Run(heal, killer);
        if (sent && r.exitCode == 128 + SIGKILL) ++killed;
        const std::optional<std::string> now = ReadFile(root / "big.bin");
        ASSERT_TRUE(now == damaged || now == good) << "half a file: " << (now ? now->size() : 0) << " bytes";
    }
    EXPECT_GE(killed, 20);
    if (ReadFile(root / "big.bin") == good) {
        WriteFile(root / "big.bin", damaged);
        SetWriteTime(root / "big.bin", date);
    }
    const RunResult healed = box.Run(heal);
    ExpectRun(healed, 1);
    EXPECT_NE(healed.err.find(rootText + "/big.bin - Repaired from " + Native(copy / "big.bin")), std::string::npos)
        << healed.err;
    EXPECT_EQ(ReadFile(root / "big.bin"), good);
    EXPECT_FALSE(HasTemporaryFile(root));
    ExpectRun(box.Run({"-f" + rootText, "-v"}), 0);
}

// A disk too full for the copy's bytes: nothing is replaced, nothing of the
// attempt stays, and the log says so.
TEST(FullDisk, ARepairThatCannotBeWrittenLeavesTheDamagedFileAsItWas) {
    if (WineMode()) GTEST_SKIP() << "a small tmpfs mounted as root: Linux's";
    if (::geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs root";
    Sandbox box;
    const fs::path root = box.root() / "small-disk";
    fs::create_directories(root);
    if (::mount("tmpfs", root.c_str(), "tmpfs", 0, "size=1m") != 0) GTEST_SKIP() << "tmpfs cannot be mounted here";
    struct Unmount {
        fs::path at;
        ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
    } unmount{root};
    const fs::path copy = box.root() / "copy";
    const std::string good(600 << 10, 'g');
    std::string damaged = good;
    damaged[1000] = 'd';
    WriteFile(root / "photo.raw", good);
    const std::string rootText = Native(root);
    ExpectRun(box.Run({"-f" + rootText, "-c"}), 0);
    ASSERT_EQ(std::system(("cp -a '" + root.string() + "' '" + copy.string() + "'").c_str()), 0);
    const WriteTime date = WriteTimeOf(root / "photo.raw");
    WriteFile(root / "photo.raw", damaged);
    SetWriteTime(root / "photo.raw", date);

    const RunResult r = box.Run({"-f" + rootText, "-v", "-b" + Native(copy)});
    ExpectRun(r, 1);
    EXPECT_EQ(LogLines(box.desktop() / LogName(rootText)),
              (std::vector<std::string>{
                  rootText + "/photo.raw - MD5 Mismatch (" + Md5Of(good) + " - " + Md5Of(damaged) +
                      ") - Damaged: Date Unchanged",
                  rootText + "/photo.raw - Not Repaired (the copy's bytes could not be written beside it)"}));
    EXPECT_EQ(ReadFile(root / "photo.raw"), damaged);
    EXPECT_EQ(WriteTimeOf(root / "photo.raw"), date);
    EXPECT_FALSE(HasTemporaryFile(root));
    EXPECT_FALSE(fs::exists(root / ".sumvane-replaced"));
}

// Two builds of one folder at once would each replace the other's work: a
// second one says the folder is busy and does nothing. The temporary file of
// a live run is never taken for a killed run's leftover; a leftover is.
TEST(Interrupted, ABuildOfAFolderAnotherRunIsBuildingIsRefused) {
    if (WineMode()) GTEST_SKIP() << "POSIX locks";
    Sandbox box;
    const fs::path root = box.root() / "data";
    WriteFile(root / "a.txt", "a");
    WriteFile(root / "Sumvane.md5", "the other run's summary\r\n");
    const std::string rootText = Native(root);
    {
        // Held as a live build holds it.
        const int folder = ::open(root.c_str(), O_RDONLY | O_DIRECTORY);
        ASSERT_GE(folder, 0);
        ASSERT_EQ(::flock(folder, LOCK_EX), 0);
        const RunResult r = box.Run({"-f" + rootText, "-c"});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, "sumvane: " + rootText + "/ is being built by another run; this build was not done.\n");
        EXPECT_EQ(ReadFile(root / "Sumvane.md5"), "the other run's summary\r\n");
        ::close(folder);
    }
    // A live run's temporary file, locked, and a leftover: the lines a
    // killed run had written.
    const std::string line = Md5Of("a") + " " + rootText + "/a.txt\r\n";
    WriteFile(root / ".sumvane-LiveRun1.tmp", line);
    WriteFile(root / ".sumvane-Leftover.tmp", line);
    const int live = ::open((root / ".sumvane-LiveRun1.tmp").c_str(), O_RDONLY);
    ASSERT_EQ(::flock(live, LOCK_EX), 0);
    ExpectRun(box.Run({"-f" + rootText, "-c"}), 0);
    EXPECT_EQ(ReadFile(root / "Sumvane.md5"), line);
    EXPECT_TRUE(fs::exists(root / ".sumvane-LiveRun1.tmp"));
    EXPECT_FALSE(fs::exists(root / ".sumvane-Leftover.tmp"));
    ::close(live);
    ExpectRun(box.Run({"-f" + rootText, "-c"}), 0);
    EXPECT_FALSE(fs::exists(root / ".sumvane-LiveRun1.tmp"));
}

// A folder's entries that cannot be flushed after the rename: the new
// summary is in place, but it may not survive a power loss, and the run
// says so instead of calling it written or unwritten.
TEST(Limits, AFolderThatCannotBeFlushedIsReported) {
    if (WineMode()) GTEST_SKIP() << "POSIX file systems";
    Sandbox box;
    const fs::path root = box.root() / "data";
    WriteFile(root / "a.txt", "a");
    const std::string rootText = Native(root);
    RunOptions failing;
    failing.env = {{"LD_PRELOAD", SUMVANE_AT_OPEN_LIBRARY},
                   {"SUMVANE_FAIL_FOLDER_SYNC", "1"},
                   {"ASAN_OPTIONS", WithLinkOrderUnchecked()}};
    ExpectRun(box.Run({"-f" + rootText, "-c"}, failing), 1);
    EXPECT_EQ(ReadFile(root / "Sumvane.md5"), Md5Of("a") + " " + rootText + "/a.txt\r\n");
    EXPECT_EQ(LogLines(box.desktop() / LogName(rootText)),
              std::vector<std::string>{rootText + "/Sumvane.md5 - Replaced, but may not be on disk"});
}

// A summary the file system reads badly the second time (an I/O error, or
// the file cut between the two readings) is never taken as checked whole:
// the entries it did not deliver are the summary's missing data, the run
// fails, and no rewrite short of them is kept.
TEST(Limits, ASummaryReadBadlyTheSecondTimeFailsTheRun) {
    if (WineMode()) GTEST_SKIP() << "a stand-in for the POSIX file system";
    const struct Case {
        const char* what;
        // SUMVANE_READ_REWOUND, of the summary's bytes
        std::function<std::string(const std::string& summary)> rewound;
        bool changedReported;  // the changed file comes early enough to be checked
    } cases[] = {
        {"an I/O error", [](const std::string&) { return std::string("eio"); }, false},
        {"cut after its first lines", [](const std::string&) { return std::string("2000"); }, true},
        // The rest of a cut line is no name to check.
        {"cut within the name of its third line",
         [](const std::string& summary) {
             const std::size_t third = summary.find('\n', summary.find('\n') + 1) + 1;
             return std::to_string(third + 33 + 5);
         },
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Sandbox box;
        const fs::path root = box.root() / "data";
        for (int i = 0; i < 3000; ++i) WriteFile(root / ("f" + std::to_string(10000 + i)), std::to_string(i));
        const std::string rootText = Native(root);
        ExpectRun(box.Run({"-f" + rootText, "-c"}), 0);
        WriteFile(root / "f10001", "changed");  // the second line
        fs::remove(root / "f12999");            // the last line
        const std::string older = "an older rewrite\r\n";
        WriteFile(root / "Sumvane.md5X", older);
        RunOptions failing;
        failing.env = {{"LD_PRELOAD", SUMVANE_AT_OPEN_LIBRARY},
                       {"SUMVANE_READ_NAME", "Sumvane.md5"},
                       {"SUMVANE_READ_REWOUND", c.rewound(*ReadFile(root / "Sumvane.md5"))},
                       {"ASAN_OPTIONS", WithLinkOrderUnchecked()}};
        ExpectRun(box.Run({"-f" + rootText, "-vc"}, failing), 1);
        std::vector<std::string> expected;
        if (c.changedReported) {
            expected.push_back(rootText + "/f10001 - MD5 Mismatch (" + Md5Of("1") + " - " + Md5Of("changed") + ")" +
                               MismatchDate(root / "f10001", root / "Sumvane.md5"));
        }
        expected.push_back(rootText + "/Sumvane.md5 - Missing Data");
        EXPECT_EQ(LogLines(box.desktop() / LogName(rootText)), expected);
        EXPECT_EQ(ReadFile(root / "Sumvane.md5X"), older);
    }
}

// The program's own limit on open files is never a file's fault: with room
// for a handful of files and 64 threads asked for, the same tree gives the
// same summary as without a limit.
TEST(Limits, FewDescriptorsAndManyThreadsGiveTheSameSummary) {
    if (WineMode()) GTEST_SKIP() << "POSIX limits";
    Sandbox box;
    const fs::path root = box.root() / "data";
    for (int i = 0; i < 2100; ++i)
        WriteFile(root / ("d" + std::to_string(i % 7)) / ("f" + std::to_string(i)), std::to_string(i));
    for (int i = 0; i < 5; ++i) WriteFile(root / ("big" + std::to_string(i)), std::string((3u << 20) + i, 'b'));
    const std::string rootText = Native(root);
    ExpectRun(box.Run({"-f" + rootText, "-r", "-c"}), 0);
    const auto unlimited = ReadFile(root / "Sumvane.md5");
    ASSERT_TRUE(unlimited);
    fs::remove(root / "Sumvane.md5");
    RunOptions limited;
    limited.limits = {{RLIMIT_NOFILE, 20}};
    limited.env = {{"SUMVANE_THREADS", "64"}};
    ExpectRun(box.Run({"-f" + rootText, "-r", "-c"}, limited), 0);
    EXPECT_EQ(ReadFile(root / "Sumvane.md5"), unlimited);
    ExpectRun(box.Run({"-f" + rootText, "-r", "-v"}, limited), 0);
}

// A file-size limit (a full disk acts alike) stops the summary part-way:
// the previous one stays, and what cannot reach the log reaches standard
// error. Summary lines go out in blocks of 64 KiB: the line whose block
// failed and every line after it are named, then the summary.
TEST(Limits, AFileSizeLimitKeepsThePreviousSummaryAndTheReport) {
    if (WineMode()) GTEST_SKIP() << "POSIX limits";
    Sandbox box;
    const fs::path root = box.root() / "data";
    std::vector<Recorded> files;
    for (int i = 0; i < 1000; ++i) files.push_back({"f" + std::to_string(1000 + i) + ".txt", std::to_string(i), ""});
    MakeTree(root, files);
    const std::string rootText = Native(root);
    const std::string old = "0123456789ABCDEF0123456789ABCDEF old\r\n";
    WriteFile(root / "Sumvane.md5", old);

    RunOptions limited;
    limited.limits = {{RLIMIT_FSIZE, 100}};  // no block of lines fits, nor does a log line
    const RunResult r = box.Run({"-f" + rootText, "-c"}, limited);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(ReadFile(root / "Sumvane.md5"), old);
    EXPECT_FALSE(HasTemporaryFile(root));
    // A log that could take no line whole is not left behind, empty or cut.
    EXPECT_FALSE(fs::exists(box.desktop() / LogName(rootText)));
    // One report for the summary: every line after the failed block would
    // fail the same way, and none of them is the file's fault.
    const std::regex stamp(R"(\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\] )");
    const std::string lines = "[stamp] " + rootText + "/Sumvane.md5 - Unable to Write to File\n" +
                              "sumvane: 1 problem; log: " + (box.desktop() / LogName(rootText)).string() +
                              " (not written there)\n";
    EXPECT_EQ(std::regex_replace(r.err, stamp, "[stamp] "), lines);
}

// The log takes whole lines only: one that does not fit whole under a
// file-size limit (or on a full disk) is cut back off it, and it and every
// later line that does not fit reach standard error instead.
TEST(Limits, ALogLineThatDoesNotFitWholeIsCutBackAndGoesToStandardError) {
    if (WineMode()) GTEST_SKIP() << "POSIX limits";
    Sandbox box;
    const fs::path root = box.root() / "data";
    std::vector<Recorded> files;
    for (int i = 0; i < 200; ++i) files.push_back({"f" + std::to_string(1000 + i), std::to_string(i), ""});
    MakeTree(root, files);
    const std::string rootText = Native(root);
    ExpectRun(box.Run({"-f" + rootText, "-c"}), 0);
    // Changed with their dates kept: damage, every one of them.
    std::vector<std::string> mismatches;
    for (const Recorded& file : files) {
        const WriteTime written = WriteTimeOf(root / file.rel);
        WriteFile(root / file.rel, "changed " + file.content);
        SetWriteTime(root / file.rel, written);
        mismatches.push_back(rootText + "/" + file.rel + " - MD5 Mismatch (" + Md5Of(file.content) + " - " +
                             Md5Of("changed " + file.content) + ")" +
                             MismatchDate(root / file.rel, root / "Sumvane.md5"));
    }

    RunOptions limited;
    limited.limits = {{RLIMIT_FSIZE, 8192}};
    const RunResult r = box.Run({"-f" + rootText, "-v"}, limited);
    EXPECT_EQ(r.exitCode, 1);
    const fs::path log = box.desktop() / LogName(rootText);
    const std::vector<std::string> logged = LogLines(log);  // a cut line is MALFORMED
    ASSERT_FALSE(logged.empty());
    ASSERT_LT(logged.size(), mismatches.size());
    EXPECT_EQ(logged, std::vector<std::string>(mismatches.begin(), mismatches.begin() + logged.size()));
    // Cut back to the last whole line, not to the start of the file.
    const std::uintmax_t lineBytes = (22 + mismatches[logged.size()].size() + 2) * 2;
    EXPECT_GT(fs::file_size(log) + lineBytes, 8192u);

    const std::regex stamp(R"(\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\] )");
    std::string lines;
    for (const std::string& line : mismatches) lines += "[stamp] " + line + "\n";
    lines += "sumvane: 200 problems (200 damaged); log: " + log.string() + " (" + std::to_string(200 - logged.size()) +
             " not written there)\n";
    EXPECT_EQ(std::regex_replace(r.err, stamp, "[stamp] "), lines);
}

// A thread the run cannot do without that the system will not start: the
// run stops with one line saying which, and the summary stays as it was.
struct RefusedThreadCase {
    const char* name;
    std::vector<std::string> args;                      // %R is the folder
    const char* refused;                                // the stand-in refuses that thread start ("": none)
    std::vector<std::pair<int, unsigned long>> limits;  // or the system's own limit does
    bool unprivileged;                                  // a limit on processes binds root not
    std::string thread;                                 // as the line names it
};

void PrintTo(const RefusedThreadCase& c, std::ostream* os) { *os << c.name; }

class RefusedThreadTest : public ::testing::TestWithParam<RefusedThreadCase> {};

TEST_P(RefusedThreadTest, SaysWhichThreadAndLeavesTheSummary) {
    const RefusedThreadCase& c = GetParam();
    if (WineMode()) GTEST_SKIP() << "POSIX threads and limits";
    if (SUMVANE_ADDRESS_SANITIZER && !c.limits.empty() && c.limits[0].first == RLIMIT_AS)
        GTEST_SKIP() << "the address sanitizer reserves more address space than the limit allows";
    Sandbox box;
    if (c.unprivileged) {
        if (const std::string why = box.unprivilegedUnavailable(); !why.empty()) GTEST_SKIP() << why;
    }
    const fs::path root = box.root() / "data";
    WriteFile(root / "a.txt", "a");
    const std::string rootText = Native(root);
    const std::string old = Md5Of("old") + " " + rootText + "/a.txt\r\n";
    WriteFile(root / "Sumvane.md5", old);
    if (c.unprivileged) GiveToUnprivileged(box.root());
    std::vector<std::string> args;
    for (const std::string& arg : c.args) args.push_back(std::regex_replace(arg, std::regex("%R"), rootText));

    RunOptions options;
    options.limits = c.limits;
    options.unprivileged = c.unprivileged;
    if (*c.refused)
        options.env = {{"LD_PRELOAD", SUMVANE_AT_OPEN_LIBRARY},
                       {"SUMVANE_REFUSE_THREAD", c.refused},
                       {"SUMVANE_THREADS", "1"},
                       {"ASAN_OPTIONS", WithLinkOrderUnchecked()}};
    // The sanitizer's leak check at the end starts a thread of its own, which
    // the limit on processes refuses as it refuses the program's.
    if (SUMVANE_ADDRESS_SANITIZER && c.unprivileged) {
        const char* sanitizer = std::getenv("ASAN_OPTIONS");
        options.env = {{"ASAN_OPTIONS", (sanitizer ? std::string(sanitizer) + ":" : "") + "detect_leaks=0"}};
    }
    RunResult r = box.Run(args, options);
    // Under a limit on processes the system does not even start the program
    // while that user has another one (a case running beside this): again.
    for (int attempt = 0; attempt < 100 && r.exitCode == 127; ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        r = box.Run(args, options);
    }
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, Banner());
    EXPECT_EQ(r.err, "sumvane: stopped before the end of its work: could not start " + c.thread +
                         " (Resource temporarily unavailable).\n");
    EXPECT_EQ(ReadFile(root / "Sumvane.md5"), old);
    EXPECT_FALSE(HasTemporaryFile(root));
}

// Thread starts, in order: the one that waits for interrupts (whose loss
// costs nothing), the job's, the listing's, then the hashing threads.
INSTANTIATE_TEST_SUITE_P(
    Cases, RefusedThreadTest,
    ::testing::Values(
        RefusedThreadCase{
            "TheBuildsOwn", {"-f%R", "-c"}, "2", {}, false, "the thread of \"Building MD5 Archive File\""},
        RefusedThreadCase{
            "TheChecksOwn", {"-f%R", "-v"}, "2", {}, false, "the thread of \"Checking MD5 Archive File\""},
        RefusedThreadCase{"TheListing", {"-f%R", "-c"}, "3", {}, false, "the thread that lists the files to hash"},
        RefusedThreadCase{"TheOnlyHashingThread", {"-f%R", "-v"}, "4", {}, false, "a hashing thread"},
        RefusedThreadCase{"AddressSpaceOf16MiB",
                          {"-f%R", "-c"},
                          "",
                          {{RLIMIT_AS, 16ul << 20}},
                          false,
                          "the thread of \"Building MD5 Archive File\""},
        RefusedThreadCase{"OneProcessPerUser",
                          {"-f%R", "-c"},
                          "",
                          {{RLIMIT_NPROC, 1}},
                          true,
                          "the thread of \"Building MD5 Archive File\""}),
    [](const auto& info) { return std::string(info.param.name); });

// A summary is read in pieces: one of any size, even a single endless line,
// is judged within a small memory limit.
TEST(Limits, ASummaryOfAnySizeIsReadInLittleMemory) {
    if (WineMode()) GTEST_SKIP() << "POSIX limits";
#if SUMVANE_ADDRESS_SANITIZER
    GTEST_SKIP() << "the address sanitizer reserves more address space than the limit allows";
#endif
    Sandbox box;
    const fs::path root = box.root() / "data";
    WriteFile(root / "a.txt", "a");
    const std::string rootText = Native(root);
    RunOptions limited;
    limited.limits = {{RLIMIT_AS, 512ul << 20}};

    // 1 GiB of summary (sparse): one line that no name could be.
    WriteFile(root / "Sumvane.md5", "");
    fs::resize_file(root / "Sumvane.md5", 1ul << 30);
    RunResult r = box.Run({"-f" + rootText, "-v"}, limited);
    EXPECT_EQ(r.exitCode, 1);
    ExpectLogOnStandardError(r.err);
    EXPECT_EQ(LogLines(box.desktop() / LogName(rootText)),
              std::vector<std::string>{"Invalid input line - Invalid Filename"});

    // The same line before a good one: the good one is still checked.
    WriteFile(root / "Sumvane.md5", Md5Of("a") + " " + std::string(1 << 20, 'n') + "\r\n" + Md5Of("a") + " " +
                                        Native(root / "a.txt") + "\r\n");
    r = box.Run({"-f" + rootText, "-v"}, limited);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(LogLines(box.desktop() / LogName(rootText)),
              std::vector<std::string>{"Invalid input line - Invalid Filename"});
}

// A file cut short while it is hashed is read again as it is now, and
// recorded so; it never ends the run.
TEST(Interrupted, AFileTruncatedWhileItIsHashed) {
    if (WineMode()) GTEST_SKIP() << "Windows keeps a mapped file from being truncated";
    Sandbox box;
    const fs::path root = box.root() / "data";
    WriteFile(root / "a.txt", "a");
    WriteFile(root / "big.bin", "");
    fs::resize_file(root / "big.bin", 2ul << 30);  // sparse: long enough to be caught in the middle
    const std::string rootText = Native(root);
    bool truncated = false;
    RunOptions cutter;
    cutter.whileRunning = [&](pid_t pid) {
        if (truncated) return;
        std::error_code ignored;
        for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ignored)) {
            if (fs::read_symlink(fd.path(), ignored) == root / "big.bin") {
                fs::resize_file(root / "big.bin", 0);
                truncated = true;
                return;
            }
        }
    };
    ExpectRun(box.Run({"-f" + rootText, "-c"}, cutter), 0);
    ASSERT_TRUE(truncated) << "the file was hashed before it could be cut";
    EXPECT_EQ(ReadFile(root / "Sumvane.md5"),
              Md5Of("a") + " " + rootText + "/a.txt\r\n" + Md5Of("") + " " + rootText + "/big.bin\r\n");
    EXPECT_FALSE(LogText(box.desktop() / LogName(rootText)));
}

// Nobody reading the output any more is no reason to stop the work.
TEST(Output, AClosedOutputDoesNotStopTheRun) {
    if (WineMode()) GTEST_SKIP() << "POSIX pipes and signals";
    Sandbox box;
    const fs::path root = box.root() / "data";
    WriteFile(root / "a.txt", "a");
    RunOptions unread;
    unread.outputClosed = true;
    const RunResult r = box.Run({"-f" + Native(root), "-c"}, unread);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(ReadFile(root / "Sumvane.md5"), Md5Of("a") + " " + Native(root) + "/a.txt\r\n");
}

// The arguments come from the entry point: a system without /proc (a
// chroot, a small container) runs the same command line.
TEST(Arguments, NeedNoProc) {
    if (WineMode()) GTEST_SKIP() << "Linux mount namespaces";
    if (SUMVANE_ADDRESS_SANITIZER) GTEST_SKIP() << "the sanitizer runtimes read /proc themselves";
    if (std::system("unshare --mount --propagation private true >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "this machine allows no private mount namespace (unshare failed), so /proc cannot be hidden";
    }
    Sandbox box;
    const fs::path root = box.root() / "data";
    const std::vector<Recorded> tree = {{"a.txt", "a", ""}, {"sub/b.txt", "b", ""}};
    MakeTree(root, tree);
    const std::string rootText = Native(root);
    RunOptions noProc;
    noProc.wrapper = {"unshare",
                      "--mount",
                      "--propagation",
                      "private",
                      "sh",
                      "-c",
                      "mount -t tmpfs none /proc && exec \"$0\" \"$@\""};
    ExpectRun(box.Run({"-f" + rootText, "-c", "-r"}, noProc), 0);
    EXPECT_EQ(ReadFile(root / "Sumvane.md5"), ExpectedSummary(rootText, root, tree));
    WriteFile(root / "sub" / "b.txt", "changed");
    ExpectRun(box.Run({"-f" + rootText, "-v"}, noProc), 1);
    EXPECT_EQ(
        LogLines(box.desktop() / LogName(rootText)),
        std::vector<std::string>{rootText + "/sub/b.txt - MD5 Mismatch (" + Md5Of("b") + " - " + Md5Of("changed") +
                                 ")" + MismatchDate(root / "sub" / "b.txt", root / "Sumvane.md5")});
}

// The clipboard action's digest serves single-file mode too: the file is
// read once.
TEST(Clipboard, HashesItsFileOnce) {
    if (WineMode()) GTEST_SKIP() << "inotify";
    Sandbox box;
    const fs::path file = box.work() / "a.txt";
    WriteFile(file, "hello\n");
    const int watcher = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watcher, 0);
    // Closes are watched too: identical events in a row would be merged.
    ASSERT_GE(::inotify_add_watch(watcher, file.c_str(), IN_OPEN | IN_CLOSE), 0);
    const RunResult r = box.Run({"-z" + Native(file)});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "Compute MD5 Hash: a.txt: B1946AC92492D2347C6235B4D2611184\n");
    int opens = 0;
    alignas(inotify_event) char buffer[4096];
    for (ssize_t n; (n = ::read(watcher, buffer, sizeof buffer)) > 0;) {
        for (char* at = buffer; at < buffer + n;
             at += sizeof(inotify_event) + reinterpret_cast<inotify_event*>(at)->len) {
            if (reinterpret_cast<inotify_event*>(at)->mask & IN_OPEN) ++opens;
        }
    }
    ::close(watcher);
    EXPECT_EQ(opens, 1);
}

}  // namespace
