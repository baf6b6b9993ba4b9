#include "verify_job.h"

#include <atomic>

#include "engine/digest_pipeline.h"
#include "engine/entry_resolver.h"
#include "engine/hashing_thread.h"
#include "engine/thread_count.h"
#include "file_reader.h"
#include "path.h"
#include "string_ids.h"
#include "summary_format.h"
#include "summary_writer.h"
#include "verdict.h"

using namespace TesselLibrary;

namespace {

// One entry of the summary on its way through the line.
struct VerifyItem {
    char stored[32];
    std::u16string name;
    std::vector<std::u16string> others;  // the other readings of its bytes
};

// The second reading: the entries the first one counted, each with where
// its file is. False when it did not meet exactly those: a read failed, or
// the file was cut or grown in between.
bool produceEntries(ItemSink<VerifyItem>& sink, TesselFile& summaryFile, const std::u16string& summaryName,
                    std::uint64_t counted, EntryResolver& resolver) {
    const auto stopping = [&] { return sink.stopping(); };
    SummaryReader reader(summaryFile, summaryName);
    SummaryLine line;
    std::uint64_t entries = 0;
    while (reader.Next(line)) {
        if (line.kind != SummaryLine::Kind::Entry) continue;
        if (++entries > counted) return false;
        VerifyItem item;
        std::copy(line.entry.digest, line.entry.digest + 32, item.stored);
        item.name = std::move(line.entry.name);
        // The same bytes may have been meant in another encoding a summary
        // line can hold (a Latin-1 name can look like UTF-8, md5sum puts a
        // mode character before the name): those readings are tried when
        // the first is not found.
        item.others = std::move(line.entry.otherReadings);
        DigestTask task;
        task.file = resolver.Locate(item.name, stopping);
        for (const std::u16string& other : item.others) task.others.push_back(resolver.Locate(other, stopping));
        sink.push(std::move(item), std::move(task));
    }
    return !reader.readFailed() && entries == counted;
}

}  // namespace

JobResult VerifyJob::endWithoutSummary() {
    problems_.logProblem(settings_.summaryPath(), kMissingData);
    bar_.step(JobBar::Step::Ready);
    progress_.EndJob(true);
    return {};
}

JobResult VerifyJob::verifySummary() {
    JobBudgets budgets;
    return verifySummary([&](TaskSource& source) { HashTasks(source, budgets.files); },
                         hashingThreads(budgets.files.tokens()), budgets.folders);
}

VerifyJob::FirstReading VerifyJob::readFirst() {
    FirstReading first;
    const bool sizes = ProgressShowsCounts();
    SummaryReader reader(summaryFile_, settings_.summaryName);
    SummaryLine line;
    while (reader.Next(line)) {
        if (line.kind == SummaryLine::Kind::Entry) {
            ++first.entries;
            if (sizes) counts_.bytesTotal += FileSizeOf(line.entry.name);
            continue;
        }
        first.anyInvalid = true;
        problems_.logInvalidLine(line.kind == SummaryLine::Kind::InvalidHash ? kInvalidHash : kInvalidFilename);
    }
    first.read = !reader.readFailed();
    counts_.filesTotal = first.entries;
    return first;
}

JobResult VerifyJob::verifySummary(const std::function<void(TaskSource& source)>& hash, unsigned threads,
                                   DescriptorBudget& folders) {
    bar_.step(JobBar::Step::Begun);
    bar_.status(settings_.folder.empty() ? DirectoryOf(settings_.singleFile) : settings_.folder);
    if (!summaryFile_.OpenRead()) return endWithoutSummary();
    FileTime written;
    if (summaryFile_.Modified(&written)) recorded_ = written;
    const FirstReading first = readFirst();
    if (!first.read) return endWithoutSummary();
    bar_.step(JobBar::Step::SummaryRead);
    // A summary cut to nothing by a crash or a full disk checks nothing.
    if ((first.entries == 0 && !first.anyInvalid) || !summaryFile_.Rewind()) return endWithoutSummary();
    bar_.step(JobBar::Step::Ready);

    JobResult result;
    bool problemFound = first.anyInvalid;
    {
        EntryResolver resolver(root_, settings_.folderPath(), folders);
        std::atomic<bool> readWhole{false};
        DigestPipeline<VerifyItem> checks(
            [&](ItemSink<VerifyItem>& sink) {
                readWhole = produceEntries(sink, summaryFile_, settings_.summaryName, first.entries, resolver);
            },
            hash, threads);
        SummaryWriter rewrite(rewriteFile_, problems_);
        for (std::uint64_t i = 0;; ++i) {
            bar_.files(i, first.entries);  // it stands at an entry while it is checked
            const std::optional<DigestPipeline<VerifyItem>::Next> next = checks.next();
            if (!next) break;
            const VerifyItem& item = next->item;
            const FileDigest& digest = next->done.digest;
            const std::u16string& name = next->done.other ? item.others[*next->done.other] : item.name;
            countDone(digest);
            const Verdict verdict = judgeEntry(item.stored, digest, recorded_);
            report(verdict, name, item.stored, digest);
            problemFound = problemFound || verdict != Verdict::Good;
            if (verdict == Verdict::NotFound) continue;
            // A file there but unreadable keeps its recorded digest, so that
            // a rewrite taken for the summary still checks it next time.
            const char(&digits)[32] = verdict == Verdict::Unreadable ? item.stored : digest.digits;
            if (settings_.rewriteOnDifference) rewrite.add(digits, name);
            if (verdict != Verdict::Unreadable) ++result.files;
        }
        // Entries the summary holds and the check never met are not checked
        // ones: the summary could not be read as it was counted.
        if (!readWhole) {
            problems_.logProblem(settings_.summaryPath(), kMissingData);
            problemFound = true;
        }
        finish(rewrite, readWhole, problemFound);
    }
    progress_.EndJob(problemFound);
    return result;
}

void VerifyJob::countDone(const FileDigest& digest) {
    counts_.filesDone += 1;
    counts_.bytesDone += digest.bytes;
    progress_.SetCounts(counts_);
}

void VerifyJob::report(Verdict verdict, const std::u16string& name, const char (&stored)[32],
                       const FileDigest& digest) {
    if (isMismatch(verdict)) {
        problems_.logMismatch(name, std::u16string(stored, stored + 32),
                              std::u16string(digest.digits, digest.digits + 32), verdict, digest.modified);
    } else {
        problems_.logVerdict(name, verdict);
    }
}

void VerifyJob::finish(SummaryWriter& rewrite, bool complete, bool& problemFound) {
    problemFound = problemFound || rewrite.failed();
    // A rewrite that lacks entries the summary holds would lose them when
    // taken for it: it is dropped, and an older one stays as it was.
    if (!complete) return;
    // Kept only when something was wrong; with no line written an older
    // rewrite stays as it was.
    if (problemFound && settings_.rewriteOnDifference) {
        rewrite.commit();
    } else {
        rewrite.remove();
    }
}
