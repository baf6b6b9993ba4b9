#include "build_job.h"

#include <algorithm>

#include "console.h"
#include "engine/hashing_thread.h"
#include "engine/thread_count.h"
#include "platform.h"
#include "string_ids.h"
#include "summary_format.h"
#include "text.h"
#include "path.h"

using namespace TesselLibrary;

BuildJob::BuildJob(const RunSettings& settings, const ProblemLog& problems, TesselProgress& progress,
                   std::shared_ptr<const Folder> root, TesselFile& summaryFile)
    : settings_(settings), problems_(problems), progress_(progress), root_(std::move(root)),
      summaryFile_(summaryFile) {}

JobResult BuildJob::buildSummary() {
    JobResult result;
    progress_.SetPosition(0);
    progress_.SetPosition(5);
    // Two builds of one folder at once would each replace the other's work.
    if (root_ && !root_->TryLock()) {
        WriteErrorText(std::u16string(kExecutableName) + u": " + ShownOnTerminal(root_->path()) +
                       u" is being built by another run; this build was not done." + kConsoleLineEnd);
        progress_.EndJob(true);
        return result;
    }

    TreeWalkSettings walkSettings;
    walkSettings.folder = settings_.folder;
    walkSettings.recursive = settings_.recursive;
    std::u16string rootText = settings_.folder;
    AppendBackslash(rootText);
    for (const std::u16string& excluded : settings_.excludedFolders)
        walkSettings.excludedFolders.push_back(rootText + excluded);
    walkSettings.summaryName = settings_.summaryName;
    walkSettings.sizes = ProgressShowsCounts();
    progress_.SetPosition(15);

    JobBudgets budgets;
    TreeWalk walk(root_, walkSettings, budgets.folders);
    return buildSummary(
        walk, [&](TaskSource& source) { HashTasks(source, budgets.files); }, hashingThreads(budgets.files.tokens()),
        walkSettings.sizes);
}

JobResult BuildJob::buildSummary(BuildListing& listing, const DigestPipeline<BuildItem>::Hash& hash, unsigned threads,
                                 bool sizesListed) {
    JobResult result;
    DigestPipeline<BuildItem> line([&](ItemSink<BuildItem>& sink) { listing.Run(sink); }, hash, threads);

    // From here on every line, in the summary and in the log, is written in
    // the walk's order, whichever thread hashed the file.
    bool problemFound = false;
    bool readFailure = false;  // a file or folder that is there could not be read
    bool writable = true;      // no part of the new summary has failed to reach the disk yet
    bool anyLine = false;
    bool firstItem = true;
    std::u16string shownFolder;
    std::uint32_t shownPosition = 15;
    ProgressCounts counts;
    counts.totalsKnown = false;
    for (;;) {
        // What comes next is shown while its file is hashed: the bar follows
        // the files done, of those the walk is likely to find until it has
        // found them all (the one coming counts as found), and never moves
        // back; then the status line names its folder.
        const BuildItem* upcoming = line.upcoming();
        if (!upcoming) break;
        if (upcoming->kind == BuildItem::Kind::File) {
            // The files found so far are the share of the tree walked so far.
            double total = static_cast<double>(std::max<std::uint64_t>(listing.filesFound(), counts.filesDone + 1));
            if (!line.producerDone()) total = std::max(total, total / std::max(listing.share(), 0.001));
            const auto position =
                static_cast<std::uint32_t>(20 + 80 * (static_cast<double>(counts.filesDone) / total));
            if (position > shownPosition) {
                progress_.SetPosition(position);
                shownPosition = position;
            }
        }
        if (firstItem || upcoming->folder != shownFolder) {
            progress_.SetStatus(upcoming->folder.c_str());
            shownFolder = upcoming->folder;
            firstItem = false;
        }
        const std::optional<DigestPipeline<BuildItem>::Next> next = line.next();
        if (!next) break;
        const BuildItem& item = next->item;
        if (item.kind == BuildItem::Kind::File) {
            counts.totalsKnown = line.producerDone();
            counts.filesDone += 1;
            counts.filesTotal = listing.filesFound();
            counts.bytesDone += sizesListed ? item.size : next->done.digest.bytes;
            counts.bytesTotal = listing.bytesFound();
        }
        if (item.kind == BuildItem::Kind::UnreadableFolder) {
            problems_.logProblem(item.path, kUnableToReadFolder);
            problemFound = readFailure = true;
            continue;
        }
        if (item.kind == BuildItem::Kind::UnwritableName) {
            problems_.logProblem(item.path, kUnableToWrite);
            problemFound = true;
            continue;
        }
        progress_.SetCounts(counts);

        const FileDigest& digest = next->done.digest;
        if (digest.result != DigestResult::Computed) {
            problems_.logDigestFailure(item.path, digest.result);
            problemFound = true;
            if (digest.result == DigestResult::Unreadable) readFailure = true;
            continue;
        }
        if (!writable) continue;
        ++result.files;
        anyLine = true;
        if (!writeSummaryLine(summaryFile_, digest.digits, item.path)) {
            // One report for the summary: every line after a failed block
            // would fail the same way.
            problems_.logProblem(summaryFile_.path(), kUnableToWrite);
            problemFound = true;
            writable = false;
        }
    }
    if (anyLine && writable && !commitSummary(readFailure, result)) problemFound = true;
    summaryFile_.Close();  // a summary that was not committed is discarded
    if (!writable) result.files = 0;
    progress_.EndJob(problemFound);
    return result;
}

bool BuildJob::commitSummary(bool readFailure, JobResult& result) {
    // A file that could not be read is missing from the new summary; the old
    // one may hold the only record of its good digest, so it stays, unless
    // there is none.
    if (readFailure) {
        TesselFile previous(root_, settings_.summaryName);
        if (previous.OpenRead()) {
            result.previousKept = true;
            return true;
        }
    }
    CommitOutcome outcome = CommitOutcome::Failed;
    summaryFile_.Commit(&outcome);
    result.summaryWritten = outcome != CommitOutcome::Failed;
    if (outcome == CommitOutcome::Replaced) return true;
    problems_.logProblem(summaryFile_.path(),
                         outcome == CommitOutcome::ReplacedNotOnDisk ? kReplacedNotOnDisk : kUnableToWrite);
    return false;
}
