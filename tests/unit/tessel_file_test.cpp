// TesselFile, FileExists, RemoveFile and ExtractHelpFile on the POSIX backend.
#ifndef _WIN32
#include "tessel_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "embedded.h"
#include "text.h"

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

TEST_F(TesselFileTest, WriteTruncatesThenContinuesOnTheSameHandle) {
    const std::string path = Path("a.txt");
    Put(path, "old contents that are longer");
    TesselFile file(U(path));
    ASSERT_TRUE(file.Write("abc", 3));
    EXPECT_EQ(Contents(path), "abc");
    ASSERT_TRUE(file.Write("def", 3));
    file.Close();
    EXPECT_EQ(Contents(path), "abcdef");
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
    file.Close();
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
        ASSERT_TRUE(file.Write("AB", 2));  // truncates
        ASSERT_TRUE(file.Append("CD", 2));  // continues on the same handle
        ASSERT_TRUE(file.Write("EF", 2));
    }
    EXPECT_EQ(Contents(path), "ABCDEF");
}

TEST_F(TesselFileTest, AppendAfterWriteContinuesAtTheHandlesPositionNotTheEnd) {
    // Another writer grows the file behind our back: Append after Write
    // continues where this handle stands (no seek to the end).
    const std::string path = Path("pos.bin");
    TesselFile file(U(path));
    ASSERT_TRUE(file.Write("12", 2));
    {
        std::ofstream other(path, std::ios::binary | std::ios::app);
        other << "3456";
    }
    ASSERT_TRUE(file.Append("xy", 2));
    file.Close();
    EXPECT_EQ(Contents(path), "12xy56");
}

TEST_F(TesselFileTest, ZeroByteWriteAndAppendStillCreate) {
    const std::string written = Path("w.bin");
    const std::string appended = Path("a.bin");
    Put(Path("t.bin"), "data");
    {
        TesselFile w(U(written));
        EXPECT_TRUE(w.Write("", 0));
        TesselFile a(U(appended));
        EXPECT_TRUE(a.Append("", 0));
        TesselFile t(U(Path("t.bin")));
        EXPECT_TRUE(t.Write(nullptr, 0));
    }
    EXPECT_TRUE(Exists(written));
    EXPECT_TRUE(Exists(appended));
    EXPECT_EQ(Contents(written), "");
    EXPECT_EQ(Contents(appended), "");
    EXPECT_EQ(Contents(Path("t.bin")), "");  // Write of 0 bytes truncates
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

TEST_F(TesselFileTest, ReadAllReadsEverything) {
    const std::string path = Path("data.bin");
    std::string bytes(100000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
    Put(path, bytes);
    TesselFile file(U(path));
    std::vector<std::uint8_t> buffer;
    ASSERT_TRUE(file.ReadAll(buffer));
    EXPECT_EQ(std::string(buffer.begin(), buffer.end()), bytes);
}

TEST_F(TesselFileTest, SizeIsTheLow32BitsAndZeroOnFailure) {
    const std::string path = Path("sparse.bin");
    {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, (off_t{1} << 32) + 5), 0);  // sparse: 4 GiB + 5 bytes
        ::close(fd);
    }
    TesselFile file(U(path));
    EXPECT_EQ(file.Size(), 5u);
    TesselFile missing(U(Path("missing.bin")));
    EXPECT_EQ(missing.Size(), 0u);
}

TEST_F(TesselFileTest, SizeSwitchesAWritingHandleToReading) {
    const std::string path = Path("s.bin");
    TesselFile file(U(path));
    ASSERT_TRUE(file.Write("hello", 5));
    EXPECT_EQ(file.Size(), 5u);  // the writing handle was closed (and flushed) first
    char buffer[8];
    std::uint32_t count = 0;
    ASSERT_TRUE(file.Read(buffer, 8, &count));  // now open for reading
    EXPECT_EQ(count, 5u);
}

TEST_F(TesselFileTest, SetPathClosesAndTheNextOperationUsesTheNewPath) {
    const std::string first = Path("first.bin");
    const std::string second = Path("second.bin");
    TesselFile file(U(first));
    ASSERT_TRUE(file.Write("1", 1));
    file.SetPath(U(second).c_str());
    EXPECT_FALSE(Exists(second));  // nothing until the next operation
    ASSERT_TRUE(file.Write("2", 1));
    file.Close();
    EXPECT_EQ(Contents(first), "1");
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
    EXPECT_FALSE(file.Write("x", 1));
    EXPECT_FALSE(file.Append("x", 1));

    // With a reader present a non-blocking open for writing succeeds; the
    // type check must still refuse it.
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_FALSE(file.Write("x", 1));
    EXPECT_FALSE(file.Append("x", 1));
    char byte;
    EXPECT_LE(::read(reader, &byte, 1), 0);  // nothing went into the pipe
    ::close(reader);
}

TEST_F(TesselFileTest, FolderNeverOpens) {
    TesselFile file(U(dir_));
    EXPECT_FALSE(file.OpenRead());
    EXPECT_FALSE(file.Write("x", 1));
    EXPECT_FALSE(file.Append("x", 1));
    EXPECT_EQ(file.Size(), 0u);
}

TEST_F(TesselFileTest, DeviceNeverOpens) {
    TesselFile file(u"/dev/null");
    EXPECT_FALSE(file.OpenRead());
    EXPECT_FALSE(file.Write("x", 1));
    EXPECT_FALSE(TesselLibrary::FileExists(u"/dev/null"));
}

TEST_F(TesselFileTest, NonAsciiNamesRoundTrip) {
    const std::string path = Path("caf\xC3\xA9 \xE2\x82\xAC.bin");
    TesselFile file(U(path));
    ASSERT_TRUE(file.Write("x", 1));
    file.Close();
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

#else  // _WIN32

#include <gtest/gtest.h>

TEST(TesselFileTest, PosixBackendOnly) {
    GTEST_SKIP() << "these cases use POSIX calls (mkdtemp, lstat, FIFOs); "
                    "the Win32 backend is tested by tessel_file_win32_test.cpp";
}

#endif  // _WIN32
