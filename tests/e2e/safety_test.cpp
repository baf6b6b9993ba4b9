// Runs that must neither let anything in nor lose anything: the program run
// as root over folders another user owns, killed or interrupted part-way,
// stopped by a resource limit, with its output gone, without /proc.
#include <signal.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <regex>
#include <string>
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

bool HasTemporaryFile(const fs::path& folder, const std::string& fileName) {
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(folder, ignored)) {
        if (entry.path().filename().string().starts_with(fileName + ".tmp-")) return true;
    }
    return false;
}

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
    std::string result;               // what `link` holds afterwards; empty: it is gone
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
                                         {"%A", theirs.Path("a.txt")}, {"%D", Md5Of("a")}, {"%W", Md5Of("wrong")}}) {
            for (std::size_t at; (at = text.find(key)) != std::string::npos;) text.replace(at, key.size(), value);
        }
        return text;
    };
    for (std::size_t i = 0; i + 1 < c.before.size(); i += 2) WriteFile(theirs.root / c.before[i], expand(c.before[i + 1]));
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

// A build killed part-way leaves the previous summary exactly as it was: a
// kill that cannot be caught leaves its temporary file for the next build to
// remove; every signal that stops a run (a terminal's keys, a closed
// terminal, a timer, a script's) removes it, says so and fails the run.
TEST(Interrupted, ABuildStoppedPartWayLeavesThePreviousSummary) {
    if (WineMode()) GTEST_SKIP() << "POSIX signals";
    Sandbox box;
    const fs::path root = box.root() / "data";
    const std::string block(1 << 20, 'x');
    std::string big;
    for (int i = 0; i < 8; ++i) big += block;
    for (int i = 0; i < 24; ++i) WriteFile(root / ("f" + std::to_string(i) + ".bin"), std::to_string(i) + big);
    const std::string rootText = Native(root);
    ExpectRun(box.Run({"-f" + rootText, "-c"}), 0);
    const auto summary = ReadFile(root / "Sumvane.md5");
    ASSERT_TRUE(summary);

    // SIGKILL last: the temporary file it leaves would look like a new one.
    for (const int signal : {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGALRM, SIGUSR1, SIGUSR2, SIGKILL}) {
        SCOPED_TRACE(::strsignal(signal));
        bool sent = false;
        RunOptions killer;
        killer.whileRunning = [&](pid_t pid) {
            if (!sent && HasTemporaryFile(root, "Sumvane.md5")) sent = ::kill(pid, signal) == 0;
        };
        const RunResult r = box.Run({"-f" + rootText, "-c"}, killer);
        ASSERT_TRUE(sent) << "the build ended before it could be stopped";
        EXPECT_EQ(r.exitCode, signal == SIGKILL ? 128 + SIGKILL : 1);
        EXPECT_EQ(r.err, signal == SIGKILL ? "" : "sumvane: interrupted; " + rootText + "/Sumvane.md5 left as it was\n");
        EXPECT_EQ(ReadFile(root / "Sumvane.md5"), summary);
        EXPECT_EQ(HasTemporaryFile(root, "Sumvane.md5"), signal == SIGKILL);
        ExpectRun(box.Run({"-f" + rootText, "-v"}), 0);
    }
    ExpectRun(box.Run({"-f" + rootText, "-c"}), 0);
    EXPECT_FALSE(HasTemporaryFile(root, "Sumvane.md5"));
    EXPECT_EQ(ReadFile(root / "Sumvane.md5"), summary);
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
    EXPECT_FALSE(HasTemporaryFile(root, "Sumvane.md5"));
    std::vector<std::string> expected;
    std::size_t written = 0;
    for (const Recorded& file : InWalkOrder(root, files)) {
        const std::string path = Spelled(rootText, file);
        written += 32 + 1 + path.size() + 2;
        if (written >= 64 * 1024) expected.push_back(path);
    }
    ASSERT_LT(expected.size(), files.size());  // some lines went into the first block
    expected.push_back(rootText + "/Sumvane.md5");
    const std::regex stamp(R"(\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\] )");
    std::string lines;
    for (const std::string& path : expected) lines += "[stamp] " + path + " - Unable to Write to File\n";
    lines += "sumvane: " + std::to_string(expected.size()) + " problems; log: " + (box.desktop() / LogName(rootText)).string() +
             " (not written there)\n";
    EXPECT_EQ(std::regex_replace(r.err, stamp, "[stamp] "), lines);
}

// A summary too large for memory is reported as missing data; memory that
// runs out later still ends the run with one line saying why.
TEST(Limits, MemoryThatRunsOutIsReported) {
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

    // 1 GiB of summary (sparse) cannot be held at all.
    WriteFile(root / "Sumvane.md5", "");
    fs::resize_file(root / "Sumvane.md5", 1ul << 30);
    RunResult r = box.Run({"-f" + rootText, "-v"}, limited);
    EXPECT_EQ(r.exitCode, 1);
    ExpectLogOnStandardError(r.err);
    EXPECT_EQ(LogLines(box.desktop() / LogName(rootText)),
              std::vector<std::string>{rootText + "/Sumvane.md5 - Missing Data"});

    // 250 MiB can be read, but its one endless line cannot be parsed.
    fs::resize_file(root / "Sumvane.md5", 250ul << 20);
    r = box.Run({"-f" + rootText, "-v"}, limited);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Sumvane stopped before the end of its work: not enough memory.\n");
}

// A file cut short while it is hashed is an error of that file, not the end
// of the run.
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
    ExpectRun(box.Run({"-f" + rootText, "-c"}, cutter), 1);
    ASSERT_TRUE(truncated) << "the file was hashed before it could be cut";
    EXPECT_EQ(ReadFile(root / "Sumvane.md5"), Md5Of("a") + " " + rootText + "/a.txt\r\n");
    EXPECT_EQ(LogLines(box.desktop() / LogName(rootText)),
              std::vector<std::string>{rootText + "/big.bin - Error computing MD5"});
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
    noProc.wrapper = {"unshare", "--mount", "--propagation", "private", "sh", "-c",
                      "mount -t tmpfs none /proc && exec \"$0\" \"$@\""};
    ExpectRun(box.Run({"-f" + rootText, "-c", "-r"}, noProc), 0);
    EXPECT_EQ(ReadFile(root / "Sumvane.md5"), ExpectedSummary(rootText, root, tree));
    WriteFile(root / "sub" / "b.txt", "changed");
    ExpectRun(box.Run({"-f" + rootText, "-v"}, noProc), 1);
    EXPECT_EQ(LogLines(box.desktop() / LogName(rootText)),
              std::vector<std::string>{rootText + "/sub/b.txt - MD5 Mismatch (" + Md5Of("b") + " - " +
                                       Md5Of("changed") + ")"});
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
    EXPECT_EQ(r.err, "Compute MD5 Hash: B1946AC92492D2347C6235B4D2611184\n");
    int opens = 0;
    alignas(inotify_event) char buffer[4096];
    for (ssize_t n; (n = ::read(watcher, buffer, sizeof buffer)) > 0;) {
        for (char* at = buffer; at < buffer + n; at += sizeof(inotify_event) + reinterpret_cast<inotify_event*>(at)->len) {
            if (reinterpret_cast<inotify_event*>(at)->mask & IN_OPEN) ++opens;
        }
    }
    ::close(watcher);
    EXPECT_EQ(opens, 1);
}

}  // namespace
