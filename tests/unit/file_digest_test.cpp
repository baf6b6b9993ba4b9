// The file digest: MD5 of the whole contents, read directly or ahead of the
// hash, and the line that hashes a job's items on several threads.
#include <gtest/gtest.h>

#include <functional>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <tuple>

#include "engine/digest_pipeline.h"
#include "engine/hashing_thread.h"
#include "engine/file_digest.h"
#include "engine/read_order.h"
#include "log_test_support.h"
#include "md5_test_support.h"
#include "problem_log.h"
#include "tessel_log.h"
#include "text.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "short_reads.h"
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
        log_.Open(U16(folder_ / "log.txt"), false);
    }
    void TearDown() override {
        log_.Open(u"", false);  // lets go of the folder, which Windows keeps while it is held
        fs::remove_all(folder_);
    }

    static std::u16string U16(const fs::path& p) { return FromSystemBytes(p.string()); }

    fs::path Write(const std::string& name, const std::string& bytes) {
        const fs::path path = folder_ / name;
        std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    // Digest as a string, or "FAILED" with the failure logged as the jobs
    // log it.
    std::string Digest(const fs::path& path) {
        const FileDigest digest = FileDigester().digest(U16(path));
        if (digest.result != DigestResult::Computed) {
            logVerdict(problems_, U16(path), judgeDigest(digest.result));
            return "FAILED";
        }
        return std::string(digest.digits, 32);
    }

    std::vector<std::string> LogMessages() { return log_test::LogMessages(folder_ / "log.txt"); }

    // The tasks through a line of `threads` hashing threads: each result, in
    // the order the tasks were pushed.
    static std::vector<DigestDone> ThroughTheLine(const std::vector<DigestTask>& tasks, unsigned threads,
                                                  const std::function<void(TaskSource&)>& hash) {
        DigestPipeline<std::size_t> line(
            [&](ItemSink<std::size_t>& sink) {
                for (std::size_t i = 0; i < tasks.size(); ++i) sink.push(std::size_t{i}, DigestTask(tasks[i]));
            },
            hash, threads);
        std::vector<DigestDone> results;
        while (const std::optional<DigestPipeline<std::size_t>::Next> next = line.next()) {
            if (next->item != results.size()) break;  // out of order: the caller sees too few
            results.push_back(next->done);
        }
        return results;
    }

    fs::path folder_;
    TesselLog log_;
    TesselAppWindows strings_;
    ProblemLog problems_{log_, strings_};
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

// Bytes in a pattern that repeats only every 251 bytes, so a piece hashed
// twice or skipped changes the digest.
std::string Pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) % 251);
    return bytes;
}

// Sizes on both sides of the read piece, of the size from which a file is
// read ahead by a second thread, and of the ring's piece; one digester for
// all, as a hashing thread uses it.
TEST_F(FileDigestTest, SizesAroundEveryReadPieceMatchTheDigestOfTheWholeBytes) {
    constexpr std::size_t kKiB = 1024;
    FileDigester digester;
    for (const std::size_t size : {std::size_t{0}, std::size_t{1}, 256 * kKiB - 1, 256 * kKiB, 256 * kKiB + 1,
                                   1024 * kKiB - 1, 1024 * kKiB, 1024 * kKiB + 1, 2048 * kKiB, 9000 * kKiB + 3}) {
        const std::string bytes = Pattern(size);
        const FileDigest digest = digester.digest(U16(Write("s" + std::to_string(size), bytes)));
        ASSERT_EQ(digest.result, DigestResult::Computed) << size;
        EXPECT_EQ(std::string(digest.digits, 32), md5_test::Digits(bytes)) << size;
        EXPECT_EQ(digest.bytes, size);
    }
}

// Every item, in production order, whichever thread hashed it: digests,
// missing files, folders, names found only in their other reading, and
// items with nothing to hash.
TEST_F(FileDigestTest, TheLineHandsOutResultsInProductionOrder) {
    std::vector<DigestTask> tasks;
    std::vector<std::string> expected;
    const auto place = [&](const std::string& name) {
        return FilePlace{nullptr, U16(folder_ / name), FilePlace::Reach::Open, nullptr};
    };
    for (int i = 0; i < 600; ++i) {
        const std::string name = "f" + std::to_string(i);
        DigestTask task;
        switch (i % 6) {
            case 0:
                task.file = place(name);
                expected.push_back("not found");
                break;
            case 1:
                fs::create_directories(folder_ / name);
                task.file = place(name);
                expected.push_back("unreadable");
                break;
            case 2:
                Write(name + "b", name);
                task.file = place(name);
                task.others = {place(name + "a"), place(name + "b")};
                expected.push_back("other 1 " + md5_test::Digits(name));
                break;
            case 3:
                task.hash = false;
                expected.push_back("unreadable");
                break;
            default: {
                const std::string bytes = Pattern(static_cast<std::size_t>(i) * (i % 7 == 0 ? 4000 : 13));
                Write(name, bytes);
                task.file = place(name);
                task.others = {place("unused")};
                expected.push_back(md5_test::Digits(bytes));
            }
        }
        tasks.push_back(std::move(task));
    }
    // Threads each with a descriptor, more threads than descriptors, and
    // threads that take windows of the line in the order of the files'
    // places (the first window is ordered; the files are found in memory,
    // so the threads go back to the line's order after it).
    for (const auto& [threads, descriptors, diskOrder] :
         {std::tuple{1u, 1u, false}, std::tuple{2u, 2u, false}, std::tuple{7u, 7u, false}, std::tuple{7u, 3u, false},
          std::tuple{1u, 1u, true}, std::tuple{2u, 2u, true}, std::tuple{2u, 50u, true}, std::tuple{1u, 100u, true}}) {
        DescriptorBudget files(descriptors);
        const HashingPlan plan(files, diskOrder);
        const std::vector<DigestDone> results =
            ThroughTheLine(tasks, threads, [&](TaskSource& source) { HashTasks(source, plan); });
        ASSERT_EQ(results.size(), tasks.size()) << "every item, in order, with " << threads << " threads";
        for (std::size_t i = 0; i < tasks.size(); ++i) {
            const DigestDone& done = results[i];
            std::string seen = done.digest.result == DigestResult::NotFound     ? "not found"
                               : done.digest.result == DigestResult::Unreadable ? "unreadable"
                                                                                : std::string(done.digest.digits, 32);
            if (done.other) seen = "other " + std::to_string(*done.other) + " " + seen;
            ASSERT_EQ(seen, expected[i]) << "item " << i << " with " << threads << " threads"
                                         << (diskOrder ? " in disk order" : "");
        }
        EXPECT_EQ(files.outstanding(), 0u) << "every file closed";
    }
}

// A consumer that stops early (an exception on its side) must not leave
// the producer or a hashing thread waiting for ever.
TEST_F(FileDigestTest, TheLineStopsWhenItsConsumerStopsEarly) {
    Write("a", "a");
    std::size_t pushed = 0;
    {
        DescriptorBudget files(2);
        DigestPipeline<int> line(
            [&](ItemSink<int>& sink) {
                for (int i = 0;; ++i) {
                    const FilePlace a{nullptr, U16(folder_ / "a"), FilePlace::Reach::Open, nullptr};
                    sink.push(int{i}, DigestTask{a, {}, true});
                    ++pushed;
                }
            },
            [&](TaskSource& source) { HashTasks(source, files); }, 2);
        for (int i = 0; i < 3; ++i) ASSERT_EQ(line.next()->item, i);
    }  // a hang here is the failure
    EXPECT_GE(pushed, 3u);
}

// A window of files read from a rotating disk goes by the places of their
// first bytes; files with nothing on the disk first; node numbers for all
// when one place is unknown; ties in the order given.
TEST_F(FileDigestTest, DiskOrderFollowsThePlacesOnTheDisk) {
    const auto at = [](std::uint64_t physical, std::uint64_t node) { return DiskPlace{true, false, physical, node}; };
    const auto unknown = [](std::uint64_t node) { return DiskPlace{false, false, 0, node}; };
    const auto empty = [](std::uint64_t node) { return DiskPlace{false, true, 0, node}; };
    const struct {
        const char* what;
        std::vector<DiskPlace> places;
        std::vector<std::size_t> order;
    } cases[] = {
        {"none", {}, {}},
        {"written backwards", {at(9000, 1), at(5000, 2), at(100, 3)}, {2, 1, 0}},
        {"places, not node numbers", {at(100, 9), at(300, 1), at(200, 5)}, {0, 2, 1}},
        {"empty ones first", {at(700, 1), empty(9), at(50, 3), empty(2)}, {1, 3, 2, 0}},
        {"one unknown: nodes for all", {at(100, 9), unknown(4), at(50, 7)}, {1, 2, 0}},
        {"same place keeps its order", {at(10, 3), at(5, 2), at(10, 1)}, {1, 0, 2}},
    };
    for (const auto& c : cases) EXPECT_EQ(DiskOrder(c.places), c.order) << c.what;
}

#ifndef _WIN32
// Reads that are first interrupted and then move less than asked, on every
// path a file is read by: one stream (directly and read ahead) and the
// lanes, which read what the system holds and wait only when none does.
TEST_F(FileDigestTest, ShortAndInterruptedReadsHashEveryByte) {
    constexpr std::size_t kKiB = 1024;
    std::vector<std::string> contents;
    std::vector<DigestTask> tasks;
    for (const std::size_t size :
         {std::size_t{0}, std::size_t{1}, 4 * kKiB, 128 * kKiB + 5, 1024 * kKiB + 1, 5000 * kKiB, 17 * 1024 * kKiB}) {
        const std::string name = "r" + std::to_string(size);
        contents.push_back(Pattern(size));
        Write(name, contents.back());
        tasks.push_back(DigestTask{FilePlace{nullptr, U16(folder_ / name), FilePlace::Reach::Open, nullptr}, {}, true});
    }
    for (const std::size_t piece : {std::size_t{1000}, std::size_t{65536 + 7}}) {
        stand_in::ShortReads shortReads(piece);
        FileDigester digester;
        for (std::size_t i = 0; i < tasks.size(); ++i) {
            const FileDigest digest = digester.digest(tasks[i].file.name);
            ASSERT_EQ(digest.result, DigestResult::Computed) << i << " in pieces of " << piece;
            EXPECT_EQ(std::string(digest.digits, 32), md5_test::Digits(contents[i])) << i << " in pieces of " << piece;
        }
        for (const unsigned threads : {1u, 2u}) {
            DescriptorBudget files(64);
            const std::vector<DigestDone> results =
                ThroughTheLine(tasks, threads, [&](TaskSource& source) { HashTasks(source, files); });
            ASSERT_EQ(results.size(), tasks.size());
            for (std::size_t i = 0; i < tasks.size(); ++i) {
                ASSERT_EQ(results[i].digest.result, DigestResult::Computed) << i << " in pieces of " << piece;
                EXPECT_EQ(std::string(results[i].digest.digits, 32), md5_test::Digits(contents[i]))
                    << i << " in pieces of " << piece << " with " << threads << " threads";
            }
        }
        EXPECT_GT(shortReads.shortened(), 0u);
        EXPECT_GT(shortReads.interrupted(), 0u);
    }
}

// A file cut short while it is read fails, on the direct path and on the
// read-ahead path alike; it never passes with the digest of a part.
TEST_F(FileDigestTest, AFileCutShortWhileReadIsUnreadable) {
    for (const std::size_t size : {std::size_t{700} << 10, std::size_t{12} << 20}) {
        const fs::path path = Write("cut", Pattern(size));
        FileReader reader;
        bool cut = false;
        const ReadOutcome outcome = reader.ReadWhole(U16(path), [&](const std::uint8_t*, std::size_t) {
            if (!cut) fs::resize_file(path, 100);
            cut = true;
            return true;
        });
        EXPECT_EQ(outcome, ReadOutcome::Unreadable) << size;
    }
}

// A file written while it is read is read again, as it is now, a bounded
// number of times; its date is the one taken before the read whose bytes
// were hashed, on the one-stream path and in the lanes alike.
TEST_F(FileDigestTest, AFileWrittenWhileReadIsReadAgain) {
    const fs::path path = folder_ / "edited";
    int version = 0;
    const auto edit = [&] {
        ++version;
        const std::string bytes =
            "version " + std::to_string(version) + std::string(static_cast<std::size_t>(version), '!');
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        const struct timespec dates[2] = {{0, UTIME_OMIT}, {1'600'000'000 + version, 500}};
        ASSERT_EQ(::futimens(fd, dates), 0);
        ::close(fd);
    };
    const auto digestThere = [&](bool lanes) {
        if (!lanes) return FileDigester().digest(U16(path));
        const std::vector<DigestTask> tasks{
            DigestTask{FilePlace{nullptr, U16(path), FilePlace::Reach::Open, nullptr}, {}, true}};
        DescriptorBudget files(8);
        return ThroughTheLine(tasks, 1, [&](TaskSource& source) { HashTasks(source, files); }).at(0).digest;
    };
    for (const bool lanes : {false, true}) {
        // Written once, at the first read: the second read holds still.
        version = 0;
        edit();
        {
            stand_in::WriteWhileRead writer(edit, 1);
            const FileDigest digest = digestThere(lanes);
            ASSERT_EQ(digest.result, DigestResult::Computed) << lanes;
            EXPECT_EQ(std::string(digest.digits, 32), md5_test::Digits("version 2!!")) << lanes;
            EXPECT_EQ(digest.modified, (FileTime{1'600'000'002, 500})) << lanes;
            EXPECT_EQ(digest.size, 11u) << lanes;
        }
        EXPECT_EQ(version, 2);
        // Written at every read: three reads, then the last one's bytes with
        // the date seen before it.
        version = 0;
        edit();
        {
            stand_in::WriteWhileRead writer(edit, 100);
            const FileDigest digest = digestThere(lanes);
            EXPECT_EQ(version, 1 + 1 + kMostRereads) << lanes;
            ASSERT_EQ(digest.result, DigestResult::Computed) << lanes;
            EXPECT_EQ(std::string(digest.digits, 32), md5_test::Digits("version 4!!!"))
                << lanes;  // as long as the date said
            EXPECT_EQ(digest.modified, (FileTime{1'600'000'003, 500})) << lanes;
        }
    }
}

TEST_F(FileDigestTest, FifoFailsWithoutBlocking) {
    const fs::path fifo = folder_ / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(Digest(fifo), "FAILED");  // a hang here is the failure
    EXPECT_EQ(LogMessages(), std::vector<std::string>{fifo.string() + " - Error computing MD5"});
}
#endif

}  // namespace
