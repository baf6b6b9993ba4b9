#include "build_job.h"

#include <algorithm>

#include "console.h"
#include "file_dates.h"
#include "engine/hashing_thread.h"
#include "engine/thread_count.h"
#include "platform.h"
#include "summary_writer.h"
#include "text.h"
#include "verdict.h"
#include "walk_settings.h"

using namespace TesselLibrary;

JobResult BuildJob::buildSummary() {
    bar_.step(JobBar::Step::Nothing);
    bar_.step(JobBar::Step::Begun);
    // Two builds of one folder at once would each replace the other's work.
    if (root_ && !root_->TryLock()) {
        SayOnStandardError(root_->path() + u" is being built by another run; this build was not done.");
        problems_.countSaidElsewhere();
        endJob();
        return {};
    }

    const TreeWalkSettings walkSettings = walkSettingsFor(settings_, ProgressShowsCounts());
    bar_.step(JobBar::Step::Ready);

    JobBudgets budgets;
    TreeWalk walk(root_, walkSettings, budgets.folders);
    const HashingPlan plan(budgets.files, root_.get());
    return buildSummary(
        walk, [&](TaskSource& source) { HashTasks(source, plan); }, hashingThreads(budgets.files.tokens()),
        walkSettings.sizes);
}

JobResult BuildJob::buildSummary(BuildListing& listing, const DigestPipeline<BuildItem>::Hash& hash, unsigned threads,
                                 bool sizesListed) {
    JobResult result;
    bool readFailure = false;  // a file or folder that is there could not be read
    counts_.totalsKnown = false;
    {
        // From here on every line, in the summary and in the log, is written
        // in the walk's order, whichever thread hashed the file.
        DigestPipeline<BuildItem> line([&](ItemSink<BuildItem>& sink) { listing.Run(sink); }, hash, threads);
        SummaryWriter summary(summaryFile_, problems_,
                              fileDatesBeside(root_, settings_.summaryName, settings_.summaryPath()));
        while (const BuildItem* upcoming = line.upcoming()) {
            showUpcoming(*upcoming, listing, line.producerDone());
            const std::optional<DigestPipeline<BuildItem>::Next> next =
                line.next([&](std::uint64_t read, std::uint64_t size) { showReading(read, size); });
            if (!next) break;
            const FileDigest& digest = next->done.digest;
            countDone(next->item, digest, listing, line.producerDone(), sizesListed);
            result.bytesRead += digest.bytes;
            const Verdict verdict = judgeBuildItem(next->item, digest);
            if (verdict != Verdict::Good) {
                logVerdict(problems_, next->item.path, verdict);
                readFailure = readFailure || isReadFailure(verdict);
            } else if (summary.add(digest.digits, next->item.path, asReadOf(digest))) {
                ++result.files;
            }
        }
        finish(summary, readFailure, result);
    }  // a summary that was not committed is discarded
    endJob();
    return result;
}

void BuildJob::showUpcoming(const BuildItem& upcoming, const BuildListing& listing, bool listed) {
    // The bar follows the files done, of those the walk is likely to find
    // until it has found them all (the one coming counts as found).
    if (upcoming.kind == BuildItem::Kind::File) {
        const std::uint64_t done = counts_.filesDone;
        double total = static_cast<double>(std::max<std::uint64_t>(listing.filesFound(), done + 1));
        // The files found so far are the share of the tree walked so far.
        if (!listed) total = std::max(total, total / std::max(listing.share(), 0.001));
        bar_.share(static_cast<double>(done) / total);
        barDone_ = static_cast<double>(done);
        barTotal_ = total;
    }
    bar_.status(upcoming.folder);
}

void BuildJob::showReading(std::uint64_t read, std::uint64_t size) {
    bar_.share((barDone_ + static_cast<double>(read) / static_cast<double>(size)) / barTotal_);
    TesselLibrary::ProgressCounts shown = counts_;
    shown.bytesDone += read;
    progress_.SetCounts(shown);
}

void BuildJob::countDone(const BuildItem& item, const FileDigest& digest, const BuildListing& listing, bool listed,
                         bool sizesListed) {
    if (item.kind != BuildItem::Kind::File) return;
    counts_.totalsKnown = listed;
    counts_.filesDone += 1;
    counts_.filesTotal = listing.filesFound();
    counts_.bytesDone += sizesListed ? item.size : digest.bytes;
    counts_.bytesTotal = listing.bytesFound();
    progress_.SetCounts(counts_);
}

void BuildJob::finish(SummaryWriter& summary, bool readFailure, JobResult& result) {
    if (summary.failed()) {
        result.files = 0;
        return;
    }
    if (!summary.anyLine()) return;
    // A file that could not be read is missing from the new summary; the old
    // one may hold the only record of its good digest, so it stays, unless
    // there is none.
    if (readFailure && TesselFile(root_, settings_.summaryName).OpenRead()) {
        result.previousKept = true;
        return;
    }
    const SummaryWriter::Committed committed = summary.commit();
    result.summaryWritten =
        committed == SummaryWriter::Committed::Replaced || committed == SummaryWriter::Committed::ReplacedNotOnDisk;
}
