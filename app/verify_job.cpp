#include "verify_job.h"

#include "engine/digest_pipeline.h"
#include "engine/entry_resolver.h"
#include "engine/hashing_thread.h"
#include "engine/thread_count.h"
#include "file_reader.h"
#include "string_ids.h"
#include "summary_format.h"
#include "path.h"

using namespace TesselLibrary;

namespace {

// One entry of the summary on its way through the line.
struct VerifyItem {
    char stored[32];
    std::u16string name;
    std::vector<std::u16string> others;  // the other readings of its bytes
};

}  // namespace

JobResult VerifyJob::endWithoutSummary() {
    problems_.logProblem(settings_.summaryPath(), kMissingData);
    progress_.SetPosition(15);
    progress_.EndJob(true);
    return {};
}

JobResult VerifyJob::verifySummary() {
    JobBudgets budgets;
    return verifySummary([&](TaskSource& source) { HashTasks(source, budgets.files); },
                         hashingThreads(budgets.files.tokens()), budgets.folders);
}

JobResult VerifyJob::verifySummary(const std::function<void(TaskSource& source)>& hash, unsigned threads,
                                   DescriptorBudget& folders) {
    JobResult result;
    progress_.SetPosition(5);
    const std::u16string status = settings_.folder.empty() ? DirectoryOf(settings_.singleFile) : settings_.folder;
    progress_.SetStatus(status.c_str());
    if (!summaryFile_.OpenRead()) return endWithoutSummary();

    // The first reading: every invalid line is reported before the first
    // file, and the entries are counted for the bar.
    bool problemFound = false;
    std::uint64_t entries = 0;
    bool anyInvalid = false;
    ProgressCounts counts;
    const bool sizes = ProgressShowsCounts();
    {
        SummaryReader reader(summaryFile_, settings_.summaryName);
        SummaryLine line;
        while (reader.Next(line)) {
            if (line.kind == SummaryLine::Kind::Entry) {
                ++entries;
                if (sizes) counts.bytesTotal += FileSizeOf(line.entry.name);
                continue;
            }
            anyInvalid = true;
            problems_.log().WriteLine(problems_.strings().ResourceString(
                line.kind == SummaryLine::Kind::InvalidHash ? kInvalidHash : kInvalidFilename));
        }
        if (reader.readFailed()) return endWithoutSummary();
    }
    progress_.SetPosition(10);
    problemFound = anyInvalid;
    // A summary cut to nothing by a crash or a full disk checks nothing.
    if (entries == 0 && !anyInvalid) return endWithoutSummary();
    if (!summaryFile_.Rewind()) return endWithoutSummary();
    progress_.SetPosition(15);

    EntryResolver resolver(root_, settings_.folder, folders);
    DigestPipeline<VerifyItem> checks(
        [&](ItemSink<VerifyItem>& sink) {
            const auto stopping = [&] { return sink.stopping(); };
            SummaryReader reader(summaryFile_, settings_.summaryName);
            SummaryLine line;
            while (reader.Next(line)) {
                if (line.kind != SummaryLine::Kind::Entry) continue;
                VerifyItem item;
                std::copy(line.entry.digest, line.entry.digest + 32, item.stored);
                item.name = std::move(line.entry.name);
                // The same bytes may have been meant in another encoding a
                // summary line can hold (a Latin-1 name can look like UTF-8,
                // md5sum puts a mode character before the name): those
                // readings are tried when the first is not found.
                item.others = std::move(line.entry.otherReadings);
                DigestTask task;
                task.file = resolver.Locate(item.name, stopping);
                for (const std::u16string& other : item.others) task.others.push_back(resolver.Locate(other, stopping));
                sink.push(std::move(item), std::move(task));
            }
        },
        hash, threads);

    counts.filesTotal = entries;
    std::uint64_t i = 0;
    bool anyLine = false;
    bool rewritable = true;  // no part of the rewrite has failed to reach the disk yet
    std::uint32_t shown = 15;
    for (;;) {
        // The bar stands at an entry while it is checked. Sent only when it
        // moves: each update waits for the display.
        if (entries > 0) {
            const auto position = static_cast<std::uint32_t>(20 + 80 * (i < entries ? i : entries - 1) / entries);
            if (position != shown) progress_.SetPosition(position);
            shown = position;
        }
        const std::optional<DigestPipeline<VerifyItem>::Next> next = checks.next();
        if (!next) break;
        ++i;
        const VerifyItem& item = next->item;
        const FileDigest& digest = next->done.digest;
        const std::u16string& name = next->done.other ? item.others[*next->done.other] : item.name;
        counts.filesDone += 1;
        counts.bytesDone += digest.bytes;
        progress_.SetCounts(counts);
        if (digest.result != DigestResult::Computed) {
            problems_.logDigestFailure(name, digest.result);
            problemFound = true;
            continue;
        }
        ++result.files;
        if (!sameDigest(item.stored, digest.digits)) {
            problemFound = true;
            problems_.logMismatch(name, std::u16string(item.stored, item.stored + 32),
                                  std::u16string(digest.digits, digest.digits + 32));
        }
        if (settings_.rewriteOnDifference && rewritable) {
            anyLine = true;
            if (!writeSummaryLine(rewriteFile_, digest.digits, name)) {
                // One report for the rewrite: every line after a failed
                // block would fail the same way.
                problems_.logProblem(rewriteFile_.path(), kUnableToWrite);
                problemFound = true;
                rewritable = false;
            }
        }
    }
    if (problemFound && settings_.rewriteOnDifference) {
        // Kept only when complete; with no line written an older rewrite
        // stays as it was.
        CommitOutcome outcome = CommitOutcome::Failed;
        if (anyLine && rewritable && !rewriteFile_.Commit(&outcome)) {
            problems_.logProblem(rewriteFile_.path(),
                                 outcome == CommitOutcome::ReplacedNotOnDisk ? kReplacedNotOnDisk : kUnableToWrite);
        }
    } else {
        rewriteFile_.Delete();
    }
    progress_.EndJob(problemFound);
    return result;
}
