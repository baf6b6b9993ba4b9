// TesselMappedFile on the POSIX backend, including the truncation guard (the
// Win32 one: tessel_mapped_file_win32_test.cpp).
#ifndef _WIN32
#include "md5.h"
#include "tessel_mapped_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "posix_test_support.h"
#include "text.h"

namespace {

using TesselLibrary::Md5Hash;
using TesselLibrary::Md5Provider;
using TesselLibrary::TesselMappedFile;

class TesselMappedFileTest : public ::testing::Test {
protected:
    std::string Path(const std::string& name) const { return dir_ + "/" + name; }
    static std::u16string U(const std::string& path) { return TesselLibrary::FromSystemBytes(path); }

    static void Put(const std::string& path, const std::string& bytes) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << bytes;
    }

    posix_test::TempDir temp_;
    const std::string dir_ = temp_.path();
};

// Reads every page (and the last byte) of the bytes given; returns a checksum
// so that the compiler cannot drop the reads.
unsigned TouchEveryPage(const std::uint8_t* bytes, std::uint32_t length) {
    const long page = ::sysconf(_SC_PAGESIZE);
    unsigned sum = 0;
    const volatile std::uint8_t* p = bytes;
    for (std::uint32_t i = 0; i < length; i += static_cast<std::uint32_t>(page)) sum += p[i];
    if (length) sum += p[length - 1];
    return sum;
}

TEST_F(TesselMappedFileTest, WholeFileViewAtConstruction) {
    const std::string path = Path("f.bin");
    Put(path, "hello, mapped world");
    TesselMappedFile file(U(path).c_str());
    EXPECT_EQ(file.Size(), 19u);
    ASSERT_NE(file.view(), nullptr);
    EXPECT_EQ(std::memcmp(file.view(), "hello, mapped world", 19), 0);
    std::string seen;
    EXPECT_TRUE(file.ReadView(19, [&](const std::uint8_t* bytes, std::uint32_t length) {
        seen.assign(reinterpret_cast<const char*>(bytes), length);
        return true;
    }));
    EXPECT_EQ(seen, "hello, mapped world");
    // The consumer's own verdict comes back.
    EXPECT_FALSE(file.ReadView(5, [](const std::uint8_t*, std::uint32_t) { return false; }));
}

TEST_F(TesselMappedFileTest, ZeroLengthFileIsOpenWithoutAView) {
    const std::string path = Path("empty.bin");
    Put(path, "");
    TesselMappedFile file(U(path).c_str());
    EXPECT_EQ(file.view(), nullptr);
    EXPECT_EQ(file.Size(), 0u);
    file.MapWindow(0, 4096);
    EXPECT_EQ(file.view(), nullptr);
    EXPECT_EQ(file.Size(), 0u);
    bool called = false;
    EXPECT_FALSE(file.ReadView(0, [&](const std::uint8_t*, std::uint32_t) { return called = true; }));
    EXPECT_FALSE(called);
}

TEST_F(TesselMappedFileTest, MissingFolderAndFifoAreNotOpen) {
    const std::string fifo = Path("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    for (const std::string& path : {Path("missing.bin"), dir_, fifo, std::string("/dev/zero")}) {
        // A FIFO must not block the constructor: a hang is the failure.
        TesselMappedFile file(U(path).c_str());
        EXPECT_EQ(file.view(), nullptr) << path;
        EXPECT_EQ(file.Size(), 0u) << path;
        file.MapWindow(0, 4096);
        EXPECT_EQ(file.view(), nullptr) << path;
    }
    TesselMappedFile none(nullptr);
    EXPECT_EQ(none.view(), nullptr);
}

TEST_F(TesselMappedFileTest, WindowsAndAFailedWindowThenAValidOne) {
    const long page = ::sysconf(_SC_PAGESIZE);
    const std::string path = Path("pages.bin");
    std::string bytes(static_cast<std::size_t>(page) * 3, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i / static_cast<std::size_t>(page) + 'A');
    Put(path, bytes);
    TesselMappedFile file(U(path).c_str());
    file.MapWindow(static_cast<std::uint64_t>(page), static_cast<std::uint32_t>(page) * 2);
    ASSERT_NE(file.view(), nullptr);
    EXPECT_EQ(file.view()[0], 'B');
    EXPECT_EQ(file.view()[page], 'C');
    file.MapWindow(1, 10);  // not aligned: fails
    EXPECT_EQ(file.view(), nullptr);
    EXPECT_FALSE(file.ReadView(1, [](const std::uint8_t*, std::uint32_t) { return true; }));
    file.MapWindow(0, 0);  // empty: fails
    EXPECT_EQ(file.view(), nullptr);
    file.MapWindow(static_cast<std::uint64_t>(page) * 2, static_cast<std::uint32_t>(page));
    ASSERT_NE(file.view(), nullptr);
    EXPECT_EQ(file.view()[0], 'C');
    // Asking ReadView for more than the view holds is refused.
    EXPECT_FALSE(
        file.ReadView(static_cast<std::uint32_t>(page) + 1, [](const std::uint8_t*, std::uint32_t) { return true; }));
}

TEST_F(TesselMappedFileTest, WindowsPastFourGiBInASparseFile) {
    const std::string path = Path("sparse.bin");
    const long page = ::sysconf(_SC_PAGESIZE);
    const std::uint64_t size = (std::uint64_t{1} << 32) + 3 * static_cast<std::uint64_t>(page) + 17;
    const std::uint64_t windowOffset = (std::uint64_t{1} << 32) + static_cast<std::uint64_t>(page);
    {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(size)), 0);
        ASSERT_EQ(::pwrite(fd, "M0", 2, static_cast<off_t>(windowOffset)), 2);
        ASSERT_EQ(::pwrite(fd, "M1", 2, static_cast<off_t>(windowOffset + 1000)), 2);
        ASSERT_EQ(::pwrite(fd, "END", 3, static_cast<off_t>(size - 3)), 3);
        ASSERT_EQ(::pwrite(fd, "LOW", 3, 0), 3);
        ::close(fd);
    }
    TesselMappedFile file(U(path).c_str());
    EXPECT_EQ(file.Size(), size);
    const std::uint32_t length = static_cast<std::uint32_t>(size - windowOffset);
    file.MapWindow(windowOffset, length);
    ASSERT_NE(file.view(), nullptr);
    std::string head, middle, tail;
    EXPECT_TRUE(file.ReadView(length, [&](const std::uint8_t* bytes, std::uint32_t n) {
        head.assign(reinterpret_cast<const char*>(bytes), 2);
        middle.assign(reinterpret_cast<const char*>(bytes) + 1000, 2);
        tail.assign(reinterpret_cast<const char*>(bytes) + n - 3, 3);
        return bytes[2] == 0;
    }));
    EXPECT_EQ(head, "M0");
    EXPECT_EQ(middle, "M1");
    EXPECT_EQ(tail, "END");
    // Back to the start: the offset's high half really was used above.
    file.MapWindow(0, static_cast<std::uint32_t>(page));
    ASSERT_NE(file.view(), nullptr);
    EXPECT_EQ(std::memcmp(file.view(), "LOW", 3), 0);
}

// The file is truncated while mapped (here by the same process, as another
// process would): touching the vanished pages raises SIGBUS, which ReadView
// must turn into false instead of a crash.
TEST_F(TesselMappedFileTest, TruncatedWhileMappedReturnsFalseInsteadOfCrashing) {
    const std::string path = Path("big.bin");
    const std::uint32_t size = 4u << 20;
    Put(path, std::string(size, 'x'));
    TesselMappedFile file(U(path).c_str());
    ASSERT_NE(file.view(), nullptr);
    ASSERT_EQ(::truncate(path.c_str(), 0), 0);

    bool reachedTheEnd = false;
    EXPECT_FALSE(file.ReadView(size, [&](const std::uint8_t* bytes, std::uint32_t length) {
        TouchEveryPage(bytes, length);
        reachedTheEnd = true;
        return true;
    }));
    EXPECT_FALSE(reachedTheEnd);

    // The guard is disarmed again and works a second time.
    EXPECT_FALSE(file.ReadView(size, [&](const std::uint8_t* bytes, std::uint32_t length) {
        TouchEveryPage(bytes, length);
        return true;
    }));

    // The file grows back (zeros): a fresh window reads fine.
    ASSERT_EQ(::truncate(path.c_str(), size), 0);
    file.MapWindow(0, size);
    ASSERT_NE(file.view(), nullptr);
    unsigned sum = 1;
    EXPECT_TRUE(file.ReadView(size, [&](const std::uint8_t* bytes, std::uint32_t length) {
        sum = TouchEveryPage(bytes, length);
        return true;
    }));
    EXPECT_EQ(sum, 0u);

    // And another, valid file maps and reads as usual.
    const std::string other = Path("other.bin");
    Put(other, std::string(size, '\1'));
    TesselMappedFile valid(U(other).c_str());
    EXPECT_TRUE(valid.ReadView(size, [&](const std::uint8_t* bytes, std::uint32_t length) {
        sum = TouchEveryPage(bytes, length);
        return true;
    }));
    EXPECT_EQ(sum, size / static_cast<unsigned>(::sysconf(_SC_PAGESIZE)) + 1);
}

// A view fed to a hash: hashing a truncated window fails, and the same
// provider hashes the next file correctly.
TEST_F(TesselMappedFileTest, HashingATruncatedWindowFails) {
    const std::string path = Path("hashed.bin");
    const std::uint32_t size = 2u << 20;
    Put(path, std::string(size, 'h'));
    Md5Provider provider;
    ASSERT_TRUE(provider.ok());
    {
        TesselMappedFile file(U(path).c_str());
        file.MapWindow(0, size);
        ASSERT_EQ(::truncate(path.c_str(), 100), 0);
        Md5Hash hash(provider);
        EXPECT_FALSE(file.ReadView(
            size, [&](const std::uint8_t* bytes, std::uint32_t length) { return hash.Update(bytes, length); }));
    }
    Put(path, "abc");
    TesselMappedFile file(U(path).c_str());
    Md5Hash hash(provider);
    ASSERT_TRUE(
        file.ReadView(3, [&](const std::uint8_t* bytes, std::uint32_t length) { return hash.Update(bytes, length); }));
    std::uint8_t value[16];
    ASSERT_TRUE(hash.Final(value));
    EXPECT_EQ(value[0], 0x90);  // MD5("abc") = 900150983CD2...
    EXPECT_EQ(value[15], 0x72);
}

TEST_F(TesselMappedFileTest, TruncationGuardWorksOnAnotherThread) {
    const std::string path = Path("t.bin");
    const std::uint32_t size = 1u << 20;
    Put(path, std::string(size, 'y'));
    bool result = true;
    std::thread worker([&] {
        TesselMappedFile file(U(path).c_str());
        if (!file.view()) return;
        (void)::truncate(path.c_str(), 4096);  // the first page stays
        result = file.ReadView(size, [](const std::uint8_t* bytes, std::uint32_t length) {
            TouchEveryPage(bytes, length);
            return true;
        });
    });
    worker.join();
    EXPECT_FALSE(result);
}

TEST_F(TesselMappedFileTest, ExceptionsFromTheConsumerPassThroughAndDisarm) {
    const std::string path = Path("e.bin");
    Put(path, "abc");
    TesselMappedFile file(U(path).c_str());
    EXPECT_THROW(file.ReadView(3, [](const std::uint8_t*, std::uint32_t) -> bool { throw 42; }), int);
    EXPECT_TRUE(file.ReadView(3, [](const std::uint8_t* bytes, std::uint32_t) { return bytes[0] == 'a'; }));
}

}  // namespace

#endif  // _WIN32
