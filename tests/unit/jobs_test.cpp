// The build and the verify job over a stand-in listing and a stand-in
// digester: what the jobs write (the summary, the rewrite, the log) and
// decide (the verdict, what they counted, whether the old summary stays)
// from the items and results alone, whatever threads hand them back.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "build_job.h"
#include "engine/file_digest.h"
#include "log_test_support.h"
#include "problem_log.h"
#include "tessel_log.h"
#include "tessel_progress.h"
#include "text.h"
#include "verify_job.h"

using namespace TesselLibrary;
namespace fs = std::filesystem;

namespace {

const std::string kA = "0CC175B9C0F1B6A831C399E269772661";  // MD5 of "a"
const std::string kB = "92EB5FFEE6AE2FEC3AD71C777531578F";  // MD5 of "b"

// What the stand-in digester answers for a name: 32 digits, or a failure.
using Answers = std::map<std::u16string, std::string>;

// A hashing thread that opens nothing: each task's answer comes from the
// table ("not found" and "unreadable" are failures), the other names tried
// in turn while a name is not found.
std::function<void(TaskSource&)> StandInDigester(const Answers& answers) {
    return [&answers](TaskSource& source) {
        while (const std::optional<TaskSource::Claimed> claimed = source.Claim(true)) {
            DigestDone done;
            const auto answerFor = [&](const std::u16string& name) {
                const auto found = answers.find(name);
                return found == answers.end() ? std::string("not found") : found->second;
            };
            std::string answer = answerFor(claimed->task->file.name);
            for (std::size_t k = 0; answer == "not found" && k < claimed->task->others.size(); ++k) {
                answer = answerFor(claimed->task->others[k].name);
                if (answer != "not found") done.other = k;
            }
            if (answer == "not found") {
                done.digest.result = DigestResult::NotFound;
            } else if (answer == "unreadable") {
                done.digest.result = DigestResult::Unreadable;
            } else {
                done.digest.result = DigestResult::Computed;
                std::copy(answer.begin(), answer.end(), done.digest.digits);
            }
            source.Complete(claimed->index, std::move(done));
        }
    };
}

// The items a walk would list, without a tree.
class StandInListing final : public BuildListing {
public:
    explicit StandInListing(std::vector<BuildItem> items) : items_(std::move(items)) {}
    void Run(ItemSink<BuildItem>& sink) override {
        for (const BuildItem& item : items_) {
            DigestTask task;
            task.file.name = item.path;
            task.hash = item.kind == BuildItem::Kind::File;
            if (task.hash) ++files_;
            sink.push(BuildItem(item), std::move(task));
        }
    }
    std::uint64_t filesFound() const override { return files_; }
    std::uint64_t bytesFound() const override { return 0; }
    double share() const override { return 1; }

private:
    std::vector<BuildItem> items_;
    std::uint64_t files_ = 0;
};

BuildItem File(const std::string& path) { return {BuildItem::Kind::File, FromSystemBytes(path), u"/d/", 0}; }

class JobsTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() / (std::string("jobs-test-") + info->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        log_.Open(FromSystemBytes((dir_ / "log.txt").string()), false);
        settings_.summaryName = u"Sumvane.md5";
        settings_.folder = FromSystemBytes(dir_.string());
        folder_ = Folder::Open(settings_.folder);
        summary_.SetPath(folder_, u"Sumvane.md5");
        rewrite_.SetPath(folder_, u"Sumvane.md5X");
    }
    void TearDown() override {
        log_.Open(u"", false);
        summary_.SetPath(u"");
        rewrite_.SetPath(u"");
        folder_.reset();
        fs::remove_all(dir_);
    }

    // Runs `job` as folder mode does, behind the progress runner; its verdict.
    bool RunJob(const std::function<void()>& job) {
        struct Call {
            static std::uint32_t TESSEL_STDCALL Run(void* body) {
                (*static_cast<const std::function<void()>*>(body))();
                return 0;
            }
        };
        return progress_.Run(frame_, u"job", const_cast<std::function<void()>*>(&job), &Call::Run);
    }

    std::string Contents(const std::string& name) {
        std::ifstream in(dir_ / name, std::ios::binary);
        return in ? std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()) : "(none)";
    }
    std::vector<std::string> LogMessages() { return log_test::LogMessages(dir_ / "log.txt"); }
    void Put(const std::string& name, const std::string& bytes) {
        std::ofstream(dir_ / name, std::ios::binary) << bytes;
    }

    fs::path dir_;
    RunSettings settings_;
    TesselAppWindows frame_;
    TesselLog log_;
    ProblemLog problems_{log_, frame_};
    TesselProgress progress_;
    std::shared_ptr<Folder> folder_;
    TesselFile summary_;
    TesselFile rewrite_;
};

// Every kind of item, and every kind of result, in the walk's order; a file
// that could not be read keeps the old summary when there is one.
TEST_F(JobsTest, TheBuildWritesAndReportsInTheWalksOrder) {
    const std::vector<BuildItem> items = {File("/d/a"),
                                          {BuildItem::Kind::UnreadableFolder, u"/d/locked/", u"/d/locked/", 0},
                                          {BuildItem::Kind::UnwritableName, u"/d/x\ny", u"/d/", 0},
                                          File("/d/gone"),
                                          File("/d/b"),
                                          File("/d/bad")};
    const Answers answers = {{u"/d/a", kA}, {u"/d/b", kB}, {u"/d/bad", "unreadable"}};
    const std::vector<std::string> log = {"/d/locked/ - Unable to Read Folder", "/d/x\\ny - Unable to Write to File",
                                          "/d/gone - File Not Found", "/d/bad - Error computing MD5"};
    for (const bool previous : {false, true}) {
        for (const unsigned threads : {1u, 3u}) {
            SCOPED_TRACE(std::string(previous ? "with a previous summary, " : "without one, ") +
                         std::to_string(threads) + " threads");
            fs::remove(dir_ / "Sumvane.md5");
            if (previous) Put("Sumvane.md5", "the previous summary\r\n");
            log_.Open(FromSystemBytes((dir_ / "log.txt").string()), false);  // a fresh log each run
            StandInListing listing(items);
            JobResult result;
            EXPECT_FALSE(RunJob([&] {
                result = BuildJob({settings_, problems_, progress_, folder_, summary_})
                             .buildSummary(listing, StandInDigester(answers), threads, false);
            }));
            EXPECT_EQ(Contents("Sumvane.md5"),
                      previous ? "the previous summary\r\n" : kA + " /d/a\r\n" + kB + " /d/b\r\n");
            EXPECT_EQ(result.files, 2u);
            EXPECT_EQ(result.previousKept, previous);
            EXPECT_EQ(LogMessages(), log);
        }
    }
}

// A clean listing replaces the summary; nothing to record leaves it alone.
TEST_F(JobsTest, TheBuildReplacesTheSummaryOnlyWithACompleteOne) {
    Put("Sumvane.md5", "old\r\n");
    const Answers answers = {{u"/d/a", kA}, {u"/d/b", kB}};
    StandInListing nothing({});
    JobResult result;
    EXPECT_TRUE(RunJob([&] {
        result = BuildJob({settings_, problems_, progress_, folder_, summary_})
                     .buildSummary(nothing, StandInDigester(answers), 2, false);
    }));
    EXPECT_EQ(Contents("Sumvane.md5"), "old\r\n");
    EXPECT_FALSE(result.summaryWritten);

    StandInListing two({File("/d/a"), File("/d/b")});
    EXPECT_TRUE(RunJob([&] {
        result = BuildJob({settings_, problems_, progress_, folder_, summary_})
                     .buildSummary(two, StandInDigester(answers), 2, false);
    }));
    EXPECT_EQ(Contents("Sumvane.md5"), kA + " /d/a\r\n" + kB + " /d/b\r\n");
    EXPECT_TRUE(result.summaryWritten);
    EXPECT_EQ(result.files, 2u);
    EXPECT_EQ(Contents("log.txt"), "(none)");
}

// Invalid lines first, then every entry in the summary's order; a name not
// found is tried in its other readings; the rewrite holds what was found.
TEST_F(JobsTest, TheVerificationJudgesEveryEntryInTheSummarysOrder) {
    const std::string lower = "0cc175b9c0f1b6a831c399e269772661";
    Put("Sumvane.md5", kA + " /d/a\r\n\r\n" + kA + " /d/b\r\n" + lower + " /d/lower\r\n" + kA + " /d/gone\r\n" + kA +
                           " /d/bad\r\n" + kA + " \r\n" + kB + " /d/caf\xC3\xA9\r\n");
    // The last name is found only in its UTF-8 reading. The stand-in's files
    // were last written long before the summary: a mismatch is damage.
    const Answers answers = {
        {u"/d/a", kA}, {u"/d/b", kB}, {u"/d/lower", kA}, {u"/d/bad", "unreadable"}, {u"/d/caf\u00E9", kB}};
    settings_.check.rewriteOnDifference = true;
    DescriptorBudget folders(4);
    JobResult result;
    EXPECT_FALSE(RunJob([&] {
        result = VerifyJob({settings_, problems_, progress_, folder_, summary_}, rewrite_)
                     .verifySummary(StandInDigester(answers), 2, folders);
    }));
    EXPECT_EQ(LogMessages(),
              (std::vector<std::string>{"Invalid input line - Invalid Hash", "Invalid input line - Invalid Filename",
                                        "/d/b - MD5 Mismatch (" + kA + " - " + kB + ") - Damaged: Date Unchanged",
                                        "/d/gone - File Not Found", "/d/bad - Error computing MD5"}));
    EXPECT_EQ(result.files, 4u);
    // The name found is recorded, in the form it is written in; a file there
    // but unreadable keeps its recorded digest, to be checked again.
    EXPECT_EQ(Contents("Sumvane.md5X"),
              kA + " /d/a\r\n" + kB + " /d/b\r\n" + kA + " /d/lower\r\n" + kA + " /d/bad\r\n" + kB + " /d/caf\xE9\r\n");
}

// Nothing to check, or nothing readable, is the summary's problem.
TEST_F(JobsTest, AMissingOrEmptySummaryIsMissingData) {
    Put("Sumvane.md5X", "an earlier rewrite\r\n");
    settings_.check.rewriteOnDifference = true;
    for (const bool empty : {false, true}) {
        if (empty) Put("Sumvane.md5", "");
        log_.Open(FromSystemBytes((dir_ / "log.txt").string()), false);
        DescriptorBudget folders(4);
        EXPECT_FALSE(RunJob([&] {
            VerifyJob({settings_, problems_, progress_, folder_, summary_}, rewrite_)
                .verifySummary(StandInDigester({}), 2, folders);
        }));
        EXPECT_EQ(LogMessages(), std::vector<std::string>{ToSystemBytes(summary_.path()) + " - Missing Data"});
        EXPECT_EQ(Contents("Sumvane.md5X"), "an earlier rewrite\r\n");
    }
}

}  // namespace
