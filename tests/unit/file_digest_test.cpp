// The file digest: MD5 of the whole contents through 1 GiB windows.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "checksum_app.h"
#include "text.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace TesselLibrary;
namespace fs = std::filesystem;

namespace {

class FileDigestTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder_ = fs::temp_directory_path() / (std::string("digest-test-") + info->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        app_.log->Open(U16(folder_ / "log.txt"), false);
    }
    void TearDown() override { fs::remove_all(folder_); }

    static std::u16string U16(const fs::path& p) { return FromSystemBytes(p.string()); }

    fs::path Write(const std::string& name, const std::string& bytes) {
        const fs::path path = folder_ / name;
        std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    // Digest as a string, or "FAILED"; the buffer must stay untouched on failure.
    std::string Digest(const fs::path& path) {
        char out[32];
        std::fill(std::begin(out), std::end(out), '#');
        if (!app_.computeDigest(U16(path), out)) {
            EXPECT_EQ(std::string(out, 32), std::string(32, '#'));
            return "FAILED";
        }
        return std::string(out, 32);
    }

    // What the log holds, as ASCII lines without timestamps.
    std::vector<std::string> LogMessages() {
        std::ifstream in(folder_ / "log.txt", std::ios::binary);
        const std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::vector<std::string> lines;
        std::string line;
        for (std::size_t i = 0; i + 1 < raw.size(); i += 2) {
            if (raw[i] == '\n') {
                lines.push_back(line.substr(22, line.size() - 23));
                line.clear();
            } else {
                line.push_back(raw[i]);
            }
        }
        return lines;
    }

    fs::path folder_;
    ChecksumApp app_;
};

TEST_F(FileDigestTest, Rfc1321TestSuite) {
    const std::pair<std::string, std::string> suite[] = {
        {"", "D41D8CD98F00B204E9800998ECF8427E"},
        {"a", "0CC175B9C0F1B6A831C399E269772661"},
        {"abc", "900150983CD24FB0D6963F7D28E17F72"},
        {"message digest", "F96B697D7CB7938D525A2F31AAF161D0"},
        {"abcdefghijklmnopqrstuvwxyz", "C3FCD3D76192E4007DFB496CCA67E13B"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "D174AB98D277D9F5A5611C2C9F419D9F"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57EDF4A22BE3C955AC49DA2E2107B67A"},
    };
    int n = 0;
    for (const auto& [text, digest] : suite) EXPECT_EQ(Digest(Write("f" + std::to_string(n++), text)), digest) << text;
    EXPECT_TRUE(LogMessages().empty());
}

// Only a path that is not there is "not found"; what is there but cannot be
// read as a file is an error of the digest.
TEST_F(FileDigestTest, MissingPathsAreNotFoundAndAFolderCannotBeRead) {
    const fs::path missing = folder_ / "missing.txt";
    const fs::path missingFolder = folder_ / "nofolder" / "x.txt";
    const fs::path sub = folder_ / "sub";
    fs::create_directories(sub);
    EXPECT_EQ(Digest(missing), "FAILED");
    EXPECT_EQ(Digest(missingFolder), "FAILED");
    EXPECT_EQ(Digest(sub), "FAILED");
    EXPECT_EQ(LogMessages(), (std::vector<std::string>{missing.string() + " - File Not Found",
                                                       missingFolder.string() + " - File Not Found",
                                                       sub.string() + " - Error computing MD5"}));
}

#ifndef _WIN32
TEST_F(FileDigestTest, FifoFailsWithoutBlocking) {
    const fs::path fifo = folder_ / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(Digest(fifo), "FAILED");  // a hang here is the failure
    EXPECT_EQ(LogMessages(), std::vector<std::string>{fifo.string() + " - Error computing MD5"});
}
#endif

}  // namespace
