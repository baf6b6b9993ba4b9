// Files of 1 GiB and past 4 GiB, checked against md5sum. The files are sparse
// with marker bytes at 1 GiB edges and past 32-bit offsets, so a piece that
// is skipped, repeated or cut short changes the digest. Linux only (md5sum):
// the Windows program's large files are checked end to end under Wine.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "engine/file_digest.h"
#include "posix_test_support.h"
#include "text.h"

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

#ifndef _WIN32

constexpr std::uint64_t kGiB = std::uint64_t{1} << 30;

std::string Md5sum(const fs::path& path) {
    const std::string command = "md5sum '" + path.string() + "'";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return "no md5sum";
    char line[128] = {};
    const bool read = std::fgets(line, sizeof line, pipe) != nullptr;
    ::pclose(pipe);
    if (!read) return "no md5sum";
    std::string digest(line, 32);
    for (char& c : digest) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return digest;
}

struct SparseCase {
    const char* what;
    std::uint64_t size;
};

class LargeFileDigestTest : public ::testing::TestWithParam<SparseCase> {};

TEST_P(LargeFileDigestTest, MatchesMd5sum) {
    // A folder of its own: two runs of the suite at once must not share it.
    const posix_test::TempDir dir;
    const fs::path path = dir / (std::string("large-") + GetParam().what);
    const std::uint64_t size = GetParam().size;
    {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(size)), 0);
        const std::uint64_t marks[] = {0, kGiB - 1, kGiB, kGiB + 1, 2 * kGiB, (std::uint64_t{1} << 32) + 3, size - 1};
        for (const std::uint64_t at : marks) {
            if (at >= size) continue;
            const char mark = static_cast<char>('A' + (at % 23));
            ASSERT_EQ(::pwrite(fd, &mark, 1, static_cast<off_t>(at)), 1);
        }
        ::close(fd);
    }
    const FileDigest digest = FileDigester().digest(TesselLibrary::FromSystemBytes(path.string()));
    ASSERT_EQ(digest.result, DigestResult::Computed);
    EXPECT_EQ(std::string(digest.digits, 32), Md5sum(path));
}

INSTANTIATE_TEST_SUITE_P(Windows, LargeFileDigestTest,
                         ::testing::Values(SparseCase{"one_window", kGiB},
                                           SparseCase{"one_window_and_a_byte", kGiB + 1},
                                           SparseCase{"past_4GiB", 4 * kGiB + 5}),
                         [](const auto& info) { return std::string(info.param.what); });

#endif

}  // namespace
