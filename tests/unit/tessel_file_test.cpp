// TesselFile, FileExists, RemoveFile and ExtractHelpFile on the POSIX backend
// (the Win32 one: tessel_file_win32_test.cpp).
#ifndef _WIN32
#include "tessel_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "embedded.h"
#include "text.h"
#include "help_file.h"
#include "remove_file.h"
#include "short_reads.h"

namespace {

using TesselLibrary::TesselFile;

class TesselFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/tessel_file_test.XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr) << std::strerror(errno);
        dir_ = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::permissions(dir_, std::filesystem::perms::owner_all, ignored);
        std::filesystem::remove_all(dir_, ignored);
    }

    std::string Path(const std::string& name) const { return dir_ + "/" + name; }
    static std::u16string U(const std::string& path) { return TesselLibrary::FromSystemBytes(path); }

    static std::string Contents(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    static void Put(const std::string& path, const std::string& bytes) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << bytes;
    }
    static bool Exists(const std::string& path) {
        struct stat st;
        return ::lstat(path.c_str(), &st) == 0;
    }

    std::string dir_;
};

TEST_F(TesselFileTest, DefaultPathIsFilenameTxt) {
    const std::string cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir_);
    {
        TesselFile file;
        EXPECT_TRUE(file.Write("x", 1));
        EXPECT_TRUE(file.Commit());
    }
    {
        // A null path given later means the same file.
        TesselFile file(U(Path("other.txt")));
        file.SetPath(nullptr);
        EXPECT_TRUE(file.Append("y", 1));
    }
    std::filesystem::current_path(cwd);
    EXPECT_EQ(Contents(Path("filename.txt")), "xy");
    EXPECT_FALSE(std::filesystem::exists(Path("other.txt")));
}

// The names in the test folder, to see what a replacement left behind.
std::vector<std::string> Names(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(TesselFileTest, WriteReplacesTheFileOnlyAtCommitAndLeavesNothingElse) {
    const std::string path = Path("a.txt");
    Put(path, "old contents that are longer");
    TesselFile file(U(path));
    ASSERT_TRUE(file.Write("abc", 3));
    ASSERT_TRUE(file.Write("def", 3));
    EXPECT_EQ(Contents(path), "old contents that are longer");  // untouched until Commit
    ASSERT_TRUE(file.Commit());
    EXPECT_EQ(Contents(path), "abcdef");
    EXPECT_EQ(Names(dir_), std::vector<std::string>{"a.txt"});
    EXPECT_FALSE(file.Commit());  // nothing written since

    // Closed (or destroyed) without Commit: the old file stays, no leftover.
    ASSERT_TRUE(file.Write("new", 3));
    file.Close();
    EXPECT_EQ(Contents(path), "abcdef");
    EXPECT_EQ(Names(dir_), std::vector<std::string>{"a.txt"});
}

TEST_F(TesselFileTest, CommitReplacesALinkInsteadOfWritingThroughIt) {
    const std::string target = Path("target.txt");
    const std::string path = Path("Sumvane.md5");
    Put(target, "not yours");
    ASSERT_EQ(::symlink(target.c_str(), path.c_str()), 0);
    TesselFile file(U(path));
    ASSERT_TRUE(file.Write("summary", 7));
    ASSERT_TRUE(file.Commit());
    EXPECT_EQ(Contents(target), "not yours");
    EXPECT_FALSE(std::filesystem::is_symlink(path));
    EXPECT_EQ(Contents(path), "summary");
    struct stat st;
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(st.st_mode & 0777, 0644 & ~mask);
}

TEST_F(TesselFileTest, TemporaryNames) {
    using TesselLibrary::IsTemporaryName;
    const struct {
        const char16_t* name;
        bool temporary;
    } cases[] = {
        {u".sumvane-AbC12xyZ.tmp", true},
        {u".SUMVANE-00000000.TMP", true},
        {u".sumvane-AbC12xy.tmp", false},
        {u".sumvane-AbC12xyZ9.tmp", false},
        {u".sumvane-AbC1-xyZ.tmp", false},
        {u"sumvane-AbC12xyZ.tmp", false},
        // The names earlier versions gave them.
        {u"Sumvane.md5.tmp-AbC12xyZ", true},
        {u"SUMVANE.MD5.TMP-00000000", true},
        {u"Sumvane.md5", false},
        {u"Sumvane.md5.tmp-AbC12xy", false},
        {u"Sumvane.md5.tmp-AbC12xyZ9", false},
        {u"Sumvane.md5.tmp-AbC12-yZ", false},
        {u"Sumvane.md5X.tmp-AbC12xyZ", false},
        {u"other.md5.tmp-AbC12xyZ", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsTemporaryName(c.name, u"Sumvane.md5"), c.temporary) << TesselLibrary::ToSystemBytes(c.name);
    }
    // The name Write really uses is one of them, and short whatever the
    // name it replaces: a name of 250 bytes still gets its replacement.
    const std::string longName(250, 'n');
    for (const std::string& name : {std::string("Sumvane.md5"), longName}) {
        SCOPED_TRACE(name.size());
        TesselFile file(U(Path(name)));
        ASSERT_TRUE(file.Write("x", 1));
        const std::vector<std::string> names = Names(dir_);
        ASSERT_EQ(names.size(), 1u);
        EXPECT_TRUE(IsTemporaryName(U(names[0]), U(name))) << names[0];
        ASSERT_TRUE(file.Commit());
        EXPECT_EQ(Names(dir_), std::vector<std::string>{name});
        std::filesystem::remove(Path(name));
    }
}

TEST_F(TesselFileTest, WriteAfterReadClosesTheReadingHandleAndTruncates) {
    const std::string path = Path("a.txt");
    Put(path, "0123456789");
    TesselFile file(U(path));
    char buffer[4];
    std::uint32_t count = 0;
    ASSERT_TRUE(file.OpenRead());
    ASSERT_TRUE(file.Read(buffer, 4, &count));
    EXPECT_EQ(count, 4u);
    ASSERT_TRUE(file.Write("xy", 2));
    ASSERT_TRUE(file.Commit());
    EXPECT_EQ(Contents(path), "xy");
}

TEST_F(TesselFileTest, AppendCreatesAddsAtEndAndContinuesAfterWriteWithoutSeeking) {
    const std::string path = Path("log.bin");
    {
        TesselFile file(U(path));
        ASSERT_TRUE(file.Append("one", 3));  // missing: created
    }
    EXPECT_EQ(Contents(path), "one");
    {
        TesselFile file(U(path));
        ASSERT_TRUE(file.Append("two", 3));  // existing: at the end
    }
    EXPECT_EQ(Contents(path), "onetwo");
    {
        TesselFile file(U(path));
        ASSERT_TRUE(file.Write("AB", 2));   // a new file
        ASSERT_TRUE(file.Append("CD", 2));  // continues on the same handle
        ASSERT_TRUE(file.Write("EF", 2));
        ASSERT_TRUE(file.Commit());
    }
    EXPECT_EQ(Contents(path), "ABCDEF");
}

TEST_F(TesselFileTest, CommitReplacesAFileThatChangedMeanwhile) {
    // Another writer grows the old file behind our back: what Write wrote
    // replaces it whole, nothing of the other writer's is mixed in.
    const std::string path = Path("pos.bin");
    Put(path, "old");
    TesselFile file(U(path));
    ASSERT_TRUE(file.Write("12", 2));
    {
        std::ofstream other(path, std::ios::binary | std::ios::app);
        other << "3456";
    }
    ASSERT_TRUE(file.Append("xy", 2));
    ASSERT_TRUE(file.Commit());
    EXPECT_EQ(Contents(path), "12xy");
}

TEST_F(TesselFileTest, ZeroByteWriteAndAppendStillCreate) {
    const std::string written = Path("w.bin");
    const std::string appended = Path("a.bin");
    Put(Path("t.bin"), "data");
    {
        TesselFile w(U(written));
        EXPECT_TRUE(w.Write("", 0));
        EXPECT_TRUE(w.Commit());
        TesselFile a(U(appended));
        EXPECT_TRUE(a.Append("", 0));
        TesselFile t(U(Path("t.bin")));
        EXPECT_TRUE(t.Write(nullptr, 0));
        EXPECT_TRUE(t.Commit());
    }
    EXPECT_TRUE(Exists(written));
    EXPECT_TRUE(Exists(appended));
    EXPECT_EQ(Contents(written), "");
    EXPECT_EQ(Contents(appended), "");
    EXPECT_EQ(Contents(Path("t.bin")), "");  // 0 bytes written replace the old ones
}

TEST_F(TesselFileTest, ReadPastTheEnd) {
    const std::string path = Path("ten.bin");
    Put(path, "0123456789");
    TesselFile file(U(path));
    ASSERT_TRUE(file.OpenRead());
    char buffer[32] = {};
    std::uint32_t count = 99;
    ASSERT_TRUE(file.Read(buffer, 32, &count));
    EXPECT_EQ(count, 10u);
    EXPECT_EQ(std::string(buffer, 10), "0123456789");
    count = 99;
    ASSERT_TRUE(file.Read(buffer, 32, &count));
    EXPECT_EQ(count, 0u);
    count = 99;
    ASSERT_TRUE(file.Read(buffer, 0, &count));
    EXPECT_EQ(count, 0u);
}

TEST_F(TesselFileTest, ReadWithoutOpenFails) {
    const std::string path = Path("ten.bin");
    Put(path, "0123456789");
    TesselFile file(U(path));
    char buffer[4];
    std::uint32_t count = 99;
    EXPECT_FALSE(file.Read(buffer, 4, &count));
    EXPECT_EQ(count, 99u);
}

TEST_F(TesselFileTest, ReadAllOfAnEmptyAndOfAMissingFile) {
    const std::string empty = Path("empty.bin");
    Put(empty, "");
    std::vector<std::uint8_t> buffer = {1, 2, 3};
    {
        TesselFile file(U(empty));
        EXPECT_TRUE(file.ReadAll(buffer));
        EXPECT_TRUE(buffer.empty());
    }
    buffer = {1, 2, 3};
    {
        TesselFile file(U(Path("missing.bin")));
        EXPECT_FALSE(file.ReadAll(buffer));
        EXPECT_EQ(buffer, (std::vector<std::uint8_t>{1, 2, 3}));
    }
    EXPECT_FALSE(Exists(Path("missing.bin")));
}

// Also when every read is first interrupted and then moves less than it
// was asked for: only a read that gives nothing is the end of the file.
TEST_F(TesselFileTest, ReadAllAndReadReadEverything) {
    const std::string path = Path("data.bin");
    std::string bytes(100000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
    Put(path, bytes);
    for (const std::size_t piece : {std::size_t{0}, std::size_t{1000}, std::size_t{1}}) {
        std::optional<stand_in::ShortReads> shortReads;
        if (piece > 0) shortReads.emplace(piece);
        TesselFile file(U(path));
        std::vector<std::uint8_t> buffer;
        ASSERT_TRUE(file.ReadAll(buffer)) << piece;
        EXPECT_TRUE(std::string(buffer.begin(), buffer.end()) == bytes) << piece;

        // A read that asks for more than is left gets the rest, then nothing.
        ASSERT_TRUE(file.Rewind()) << piece;
        std::string first(70000, '\0');
        std::string rest(40000, '\0');
        std::uint32_t count = 0;
        ASSERT_TRUE(file.Read(first.data(), 70000, &count)) << piece;
        EXPECT_EQ(count, 70000u) << piece;
        ASSERT_TRUE(file.Read(rest.data(), 40000, &count)) << piece;
        EXPECT_EQ(count, 30000u) << piece;
        EXPECT_TRUE(first + rest.substr(0, 30000) == bytes) << piece;
        ASSERT_TRUE(file.Read(rest.data(), 10, &count)) << piece;
        EXPECT_EQ(count, 0u) << piece;
        if (shortReads) {
            EXPECT_GT(shortReads->shortened(), 0u) << piece;
            EXPECT_GT(shortReads->interrupted(), 0u) << piece;
        }
    }
}

TEST_F(TesselFileTest, SizeAndReadAllGoPastFourGiB) {
    const std::string path = Path("sparse.bin");
    const off_t tail = off_t{1} << 32;
    {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::pwrite(fd, "tail!", 5, tail), 5);  // sparse: 4 GiB of zeros, then 5 bytes
        ::close(fd);
    }
    TesselFile file(U(path));
    EXPECT_EQ(file.Size(), (std::uint64_t{1} << 32) + 5);
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(file.ReadAll(bytes));
    ASSERT_EQ(bytes.size(), (std::size_t{1} << 32) + 5);
    EXPECT_EQ(std::string(bytes.end() - 5, bytes.end()), "tail!");
    TesselFile missing(U(Path("missing.bin")));
    EXPECT_EQ(missing.Size(), 0u);
}

TEST_F(TesselFileTest, ReadingBeforeCommitReadsTheOldFileAndKeepsTheReplacement) {
    const std::string path = Path("s.bin");
    Put(path, "old");
    TesselFile file(U(path));
    ASSERT_TRUE(file.Write("hello", 5));
    EXPECT_EQ(file.Size(), 3u);  // the old file, now open for reading
    char buffer[8];
    std::uint32_t count = 0;
    ASSERT_TRUE(file.Read(buffer, 8, &count));
    EXPECT_EQ(std::string(buffer, count), "old");
    EXPECT_EQ(Names(dir_).size(), 2u) << "the replacement waits beside it";
    ASSERT_TRUE(file.Write(" world", 6));
    ASSERT_TRUE(file.Commit());
    EXPECT_EQ(Contents(path), "hello world");
    EXPECT_EQ(Names(dir_), std::vector<std::string>{"s.bin"});
}

TEST_F(TesselFileTest, AReplacementKeepsTheOldFilesModeAndNewFilesGetTheUsualOne) {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    for (const mode_t old : {mode_t{0600}, mode_t{0640}, mode_t{0604}}) {
        const std::string path = Path("kept.bin");
        Put(path, "old");
        ASSERT_EQ(::chmod(path.c_str(), old), 0);
        TesselFile file(U(path));
        ASSERT_TRUE(file.Write("new", 3));
        ASSERT_TRUE(file.Commit());
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, old);
        EXPECT_EQ(Contents(path), "new");
    }
    const std::string fresh = Path("fresh.bin");
    TesselFile file(U(fresh));
    ASSERT_TRUE(file.Write("x", 1));
    ASSERT_TRUE(file.Commit());
    struct stat st {};
    ASSERT_EQ(::stat(fresh.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644 & ~mask);
}

// The caller's rule for what a run writes, here: nothing but "x" bytes.
class OnlyX final : public TesselLibrary::ReplacementContents {
public:
    bool Feed(const std::uint8_t* bytes, std::size_t length) override {
        return std::all_of(bytes, bytes + length, [](std::uint8_t byte) { return byte == 'x'; });
    }
    bool Whole() const override { return true; }
};

// What a killed run left is removed; what a live run is writing never is,
// whichever run looks at it; nor is a file that merely has such a name.
TEST_F(TesselFileTest, OnlyLeftoverTemporaryFilesAreRemoved) {
    using TesselLibrary::TemporaryFound;
    const std::shared_ptr<TesselLibrary::Folder> folder = TesselLibrary::Folder::Open(U(dir_));
    ASSERT_NE(folder, nullptr);
    TesselFile live(folder, u"Sumvane.md5");
    ASSERT_TRUE(live.Write("x", 1));
    const std::vector<std::string> names = Names(dir_);
    ASSERT_EQ(names.size(), 1u);
    OnlyX contents;
    EXPECT_EQ(TesselLibrary::RemoveLeftoverTemporaryFile(*folder, U(names[0]), contents), TemporaryFound::Live);
    EXPECT_EQ(Names(dir_), names);

    Put(Path(".sumvane-0000left.tmp"), "xxxx");
    EXPECT_EQ(TesselLibrary::RemoveLeftoverTemporaryFile(*folder, u".sumvane-0000left.tmp", contents),
              TemporaryFound::Leftover);
    EXPECT_EQ(Names(dir_), names);
    EXPECT_EQ(TesselLibrary::RemoveLeftoverTemporaryFile(*folder, u".sumvane-0000left.tmp", contents),
              TemporaryFound::Gone);
    Put(Path(".sumvane-00Theirs.tmp"), "xxxy");
    EXPECT_EQ(TesselLibrary::RemoveLeftoverTemporaryFile(*folder, u".sumvane-00Theirs.tmp", contents),
              TemporaryFound::Other);
    EXPECT_EQ(Contents(Path(".sumvane-00Theirs.tmp")), "xxxy");
    ASSERT_TRUE(live.Commit());
    EXPECT_EQ(Contents(Path("Sumvane.md5")), "x");
}

TEST_F(TesselFileTest, SetPathClosesAndTheNextOperationUsesTheNewPath) {
    const std::string first = Path("first.bin");
    const std::string second = Path("second.bin");
    TesselFile file(U(first));
    ASSERT_TRUE(file.Write("1", 1));
    file.SetPath(U(second).c_str());  // the uncommitted file goes with the old path
    EXPECT_FALSE(Exists(second));     // nothing until the next operation
    ASSERT_TRUE(file.Write("2", 1));
    ASSERT_TRUE(file.Commit());
    EXPECT_FALSE(Exists(first));
    EXPECT_EQ(Contents(second), "2");
}

TEST_F(TesselFileTest, DeleteOfAReadOnlyFileAndOfAMissingFile) {
    const std::string path = Path("ro.bin");
    Put(path, "x");
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    TesselFile file(U(path));
    ASSERT_TRUE(file.OpenRead());
    EXPECT_TRUE(file.Delete());
    EXPECT_FALSE(Exists(path));
    EXPECT_FALSE(file.Delete());
    EXPECT_FALSE(TesselLibrary::RemoveFile(U(Path("never.bin")).c_str()));
}

TEST_F(TesselFileTest, WriteIntoAMissingFolderFails) {
    TesselFile file(U(Path("no/such/folder.bin")));
    EXPECT_FALSE(file.Write("x", 1));
    EXPECT_FALSE(file.Append("x", 1));
}

TEST_F(TesselFileTest, FileExists) {
    const std::string path = Path("here.bin");
    Put(path, "");
    EXPECT_TRUE(TesselLibrary::FileExists(U(path).c_str()));
    EXPECT_FALSE(TesselLibrary::FileExists(U(Path("missing.bin")).c_str()));
    EXPECT_FALSE(TesselLibrary::FileExists(U(dir_).c_str()));
    const std::string link = Path("link.bin");
    ASSERT_EQ(::symlink(path.c_str(), link.c_str()), 0);
    EXPECT_TRUE(TesselLibrary::FileExists(U(link).c_str()));  // links to files are followed
}

// A FIFO is never a file: nothing opens it, and no open waits for the other
// end. A hang here is the failure (ctest's timeout reports it).
TEST_F(TesselFileTest, FifoNeverOpensAndNeverBlocks) {
    const std::string fifo = Path("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    EXPECT_FALSE(TesselLibrary::FileExists(U(fifo).c_str()));
    TesselFile file(U(fifo));
    EXPECT_FALSE(file.OpenRead());
    EXPECT_EQ(file.Size(), 0u);
    std::vector<std::uint8_t> buffer = {9};
    EXPECT_FALSE(file.ReadAll(buffer));
    EXPECT_EQ(buffer, std::vector<std::uint8_t>{9});
    EXPECT_FALSE(file.Append("x", 1));

    // With a reader present a non-blocking open for writing succeeds; the
    // type check must still refuse it. A replacement replaces the FIFO
    // itself and never writes into it.
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_FALSE(file.Append("x", 1));
    ASSERT_TRUE(file.Write("x", 1));
    ASSERT_TRUE(file.Commit());
    char byte;
    EXPECT_LE(::read(reader, &byte, 1), 0);  // nothing went into the pipe
    ::close(reader);
    EXPECT_EQ(Contents(fifo), "x");
}

TEST_F(TesselFileTest, FolderNeverOpensNorIsReplaced) {
    const std::string folder = Path("sub");
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    TesselFile file(U(folder));
    EXPECT_FALSE(file.OpenRead());
    EXPECT_FALSE(file.Append("x", 1));
    EXPECT_EQ(file.Size(), 0u);
    EXPECT_TRUE(file.Write("x", 1));
    EXPECT_FALSE(file.Commit());
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_EQ(Names(dir_), std::vector<std::string>{"sub"});  // the temporary file is gone
}

TEST_F(TesselFileTest, DeviceNeverOpens) {
    TesselFile file(u"/dev/null");
    EXPECT_FALSE(file.OpenRead());
    EXPECT_FALSE(file.Append("x", 1));
    EXPECT_FALSE(TesselLibrary::FileExists(u"/dev/null"));
}

TEST_F(TesselFileTest, NonAsciiNamesRoundTrip) {
    const std::string path = Path("caf\xC3\xA9 \xE2\x82\xAC.bin");
    TesselFile file(U(path));
    ASSERT_TRUE(file.Write("x", 1));
    ASSERT_TRUE(file.Commit());
    EXPECT_EQ(Contents(path), "x");
}

TEST_F(TesselFileTest, ExtractHelpFileWritesExactlyTheEmbeddedBytes) {
    std::uint32_t size = 0;
    const std::uint8_t* bytes = TesselLibrary::FindHelpResource(nullptr, &size);
    ASSERT_NE(bytes, nullptr);
    ASSERT_EQ(size, TesselLibrary::Embedded::helpPage_size);
    ASSERT_GT(size, 0u);
    const std::string expected(reinterpret_cast<const char*>(bytes), size);

    const std::string path = Path("Sumvane.html");
    Put(path, std::string(size + 1000, 'o'));  // an older, longer file
    EXPECT_TRUE(TesselLibrary::ExtractHelpFile(nullptr, U(path).c_str()));
    EXPECT_EQ(Contents(path), expected);
}

TEST_F(TesselFileTest, ExtractHelpFileIntoAMissingFolderFails) {
    EXPECT_FALSE(TesselLibrary::ExtractHelpFile(nullptr, U(Path("no/help.html")).c_str()));
}

}  // namespace

#endif  // _WIN32
