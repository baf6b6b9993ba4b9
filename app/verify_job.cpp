#include "verify_job.h"

#include <algorithm>
#include <atomic>
#include <chrono>

#include "changes.h"
#include "engine/hashing_thread.h"
#include "engine/thread_count.h"
#include "file_dates.h"
#include "healing.h"
#include "outcome_taker.h"
#include "path.h"
#include "second_reading.h"
#include "slice.h"
#include "slice_run.h"
#include "string_ids.h"
#include "summary_format.h"
#include "summary_writer.h"

using namespace TesselLibrary;

namespace {

FileTime now() {
    const auto since = std::chrono::system_clock::now().time_since_epoch();
    const auto seconds = std::chrono::floor<std::chrono::seconds>(since);
    return FileTime{
        seconds.count(),
        static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(since - seconds).count())};
}

}  // namespace

JobResult VerifyJob::endWithoutSummary() {
    problems_.logProblem(settings_.summaryPath(), kMissingData);
    bar_.step(JobBar::Step::Ready);
    endJob();
    return {};
}

JobResult VerifyJob::verifySummary() {
    // Files healed together hold descriptors of their own meanwhile.
    const unsigned available = JobBudgets::Available();
    const HealingShare share = settings_.check.copyFolder ? healingShare(available) : HealingShare{};
    healedAtOnce_ = share.files;
    JobBudgets budgets(SplitDescriptors(available - share.descriptors));
    const HashingPlan plan(budgets.files, root_.get());
    const auto hash = [&](TaskSource& source) { HashTasks(source, plan); };
    const unsigned threads = hashingThreads(budgets.files.tokens());
    if (!settings_.check.additions) return verifySummary(hash, threads, budgets.folders);
    // The walk and the entries it does not reach each hold folders of their
    // own: neither ever waits for a folder only the other could let go.
    const unsigned folders = budgets.folders.tokens();
    DescriptorBudget entryFolders(std::max(3u, folders - folders / 2));
    DescriptorBudget walkFolders(std::max(3u, folders / 2));
    return verifySummary(hash, threads, entryFolders, &walkFolders);
}

JobResult VerifyJob::verifySummary(const std::function<void(TaskSource& source)>& hash, unsigned threads,
                                   DescriptorBudget& folders, DescriptorBudget* walkFolders) {
    bar_.step(JobBar::Step::Begun);
    bar_.status(settings_.folder.empty() ? DirectoryOf(settings_.singleFile) : settings_.folder);
    SliceRun sliceRun(settings_, root_, problems_);
    evidence_.checkBegan = now();
    evidence_.twoSecondDates = root_ && root_->KeepsTwoSecondDates();
    if (!summaryFile_.OpenRead()) return endWithoutSummary();
    FileTime written;
    if (summaryFile_.Modified(&written)) evidence_.summaryWritten = written;
    const FirstReading first = FirstReader(settings_, problems_, root_, summaryFile_).read(folders, sliceRun.slice());
    if (!first.read) return endWithoutSummary();
    counts_.filesTotal = first.met.counted;
    counts_.bytesTotal = first.bytesTotal;
    bar_.step(JobBar::Step::SummaryRead);
    // A summary cut to nothing by a crash or a full disk checks nothing.
    if ((first.met.counted == 0 && !first.anyInvalid) || !summaryFile_.Rewind()) return endWithoutSummary();
    bar_.step(JobBar::Step::Ready);
    sliceRun.begin(first.met.counted);
    JobResult result;
    result.entries = first.met.counted;
    checkEntries(first, {hash, threads, folders, walkFolders}, sliceRun, result);
    endJob();
    return result;
}

void VerifyJob::checkEntries(const FirstReading& first, const CheckMeans& means, SliceRun& sliceRun,
                             JobResult& result) {
    SecondReader second(settings_, root_, summaryFile_, first);
    std::atomic<bool> readWhole{false};
    DigestPipeline<VerifyItem> checks(
        [&](ItemSink<VerifyItem>& sink) {
            readWhole = second.produce(sink, means.folders, means.walkFolders, sliceRun.slice());
        },
        means.hash, means.threads);
    SummaryWriter rewrite(
        rewriteFile_, problems_,
        fileDatesBeside(root_, RewriteName(settings_.summaryName), RewriteName(settings_.summaryPath())));
    Changes changes;
    std::optional<Healer> healer;
    if (settings_.check.copyFolder) healer.emplace(*settings_.check.copyFolder, root_, first.walkRoot, healingDay());
    // A check in slices keeps its place as it goes: no outcome is held
    // past it.
    const HealingBatch healing{healer ? &*healer : nullptr, sliceRun.active() ? 1 : healedAtOnce_};
    OutcomeTaker taker(problems_, rewrite, changes, healing, settings_.check.rewriteOnDifference);
    bool sliceOver = false;
    for (std::uint64_t done = 0; !sliceOver; ++done) {
        const std::optional<DigestPipeline<VerifyItem>::Next> next =
            nextChecked(checks, sliceRun, done, first.met.counted);
        if (!next) break;
        const VerifyItem& item = next->item;
        const FileDigest& digest = next->done.digest;
        const ItemOutcome outcome = judgeItem(item, digest, evidence_, settings_.check.additions);
        countDone(digest, outcome, result);
        taker.take({item, next->done.other ? item.others[*next->done.other] : item.name, digest}, outcome);
        sliceOver = !sliceRun.judged(item.line);
    }
    taker.finish();
    // Entries the summary holds and the check never met are not checked
    // ones: the summary could not be read as it was counted. A slice whose
    // time is up meets only its own.
    const bool complete = readWhole || sliceOver;
    if (!complete) problems_.logProblem(settings_.summaryPath(), kMissingData);
    sliceRun.end(result);
    changes.report(problems_);
    finish(rewrite, complete);
}

std::optional<DigestPipeline<VerifyItem>::Next> VerifyJob::nextChecked(DigestPipeline<VerifyItem>& checks,
                                                                       SliceRun& sliceRun, std::uint64_t done,
                                                                       std::uint64_t entries) {
    const std::uint64_t total = std::max(entries, done + 1);
    bar_.files(done, total);  // it stands at an item while it is checked
    while (sliceRun.active() && !checks.readyWithin(Slice::kSaveEvery)) sliceRun.waiting();
    // Within a large file the bar follows its bytes read.
    return checks.next([&](std::uint64_t read, std::uint64_t size) {
        bar_.files(done, total, static_cast<double>(read) / static_cast<double>(size));
        ProgressCounts shown = counts_;
        shown.bytesDone += read;
        progress_.SetCounts(shown);
    });
}

void VerifyJob::countDone(const FileDigest& digest, const ItemOutcome& outcome, JobResult& result) {
    counts_.filesDone += 1;
    counts_.bytesDone += digest.bytes;
    if (outcome.verdict == Verdict::Damaged) counts_.damaged += 1;
    progress_.SetCounts(counts_);
    result.bytesRead += digest.bytes;
    if (isFileChecked(outcome)) ++result.files;
}

void VerifyJob::finish(SummaryWriter& rewrite, bool complete) {
    // A rewrite that lacks entries the summary holds would lose them when
    // taken for it: it is dropped, and an older one stays as it was.
    if (!complete) return;
    // Something a fresh summary would say otherwise: a problem, or a new
    // file. Not knowing where the files are is none, though it fails the
    // run (a fresh summary would say just what this one says), nor is the
    // rewrite's own failure to be written.
    const auto differing = [](const RunCounts& counts) {
        return counts.problems - counts.kinds.undecided + counts.newFiles;
    };
    const bool differed = differing(problems_.counts()) - differing(before_) > (rewrite.failed() ? 1u : 0u);
    if (!differed || !settings_.check.rewriteOnDifference) {
        rewrite.remove();
        return;
    }
    // The rewrite, taken for the summary, would no longer check them.
    for (const std::u16string& name : rewrite.leftOut()) logVerdict(problems_, name, Verdict::UnwritableName);
    // With no line written an older rewrite stays as it was.
    rewrite.commit();
}
