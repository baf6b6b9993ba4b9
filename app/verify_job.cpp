#include "verify_job.h"

#include <algorithm>
#include <atomic>

#include "changes.h"
#include "engine/digest_pipeline.h"
#include "engine/entry_resolver.h"
#include "engine/hashing_thread.h"
#include "engine/thread_count.h"
#include "engine/verify_item.h"
#include "file_reader.h"
#include "path.h"
#include "string_ids.h"
#include "summary_entries.h"
#include "summary_format.h"
#include "summary_walk_merge.h"
#include "summary_writer.h"
#include "walk_settings.h"

using namespace TesselLibrary;

JobResult VerifyJob::endWithoutSummary() {
    problems_.logProblem(settings_.summaryPath(), kMissingData);
    bar_.step(JobBar::Step::Ready);
    progress_.EndJob(true);
    return {};
}

JobResult VerifyJob::verifySummary() {
    JobBudgets budgets;
    const HashingPlan plan(budgets.files, root_.get());
    const auto hash = [&](TaskSource& source) { HashTasks(source, plan); };
    const unsigned threads = hashingThreads(budgets.files.tokens());
    if (!settings_.additions) return verifySummary(hash, threads, budgets.folders);
    // The walk and the entries it does not reach each hold folders of their
    // own: neither ever waits for a folder only the other could let go.
    const unsigned folders = budgets.folders.tokens();
    DescriptorBudget entryFolders(std::max(3u, folders - folders / 2));
    DescriptorBudget walkFolders(std::max(3u, folders / 2));
    return verifySummary(hash, threads, entryFolders, &walkFolders);
}

VerifyJob::FirstReading VerifyJob::readFirst() {
    FirstReading first;
    const bool sizes = ProgressShowsCounts();
    const WalkOrder order(settings_.folderPath());
    std::u16string previous;
    SummaryReader reader(summaryFile_, settings_.summaryName);
    SummaryLine line;
    while (reader.Next(line)) {
        if (line.kind != SummaryLine::Kind::Entry) {
            first.anyInvalid = true;
            problems_.logInvalidLine(line.kind == SummaryLine::Kind::InvalidHash ? kInvalidHash : kInvalidFilename);
            continue;
        }
        ++first.entries;
        if (sizes) counts_.bytesTotal += FileSizeOf(line.entry.name);
        if (!settings_.additions) continue;
        // What a check that walks the folder needs: every name listed, and
        // whether the entries come in the walk's order.
        listed_.add(line.entry.name);
        for (const std::u16string& other : line.entry.otherReadings) listed_.add(other);
        const std::u16string& key = orderKey(line.entry);
        if (first.entries > 1 && order.before(key, previous)) first.inWalkOrder = false;
        previous = key;
    }
    listed_.seal();
    first.read = !reader.readFailed();
    first.bytes = reader.bytesRead();
    counts_.filesTotal = first.entries;
    return first;
}

bool VerifyJob::produce(ItemSink<VerifyItem>& sink, const FirstReading& first, DescriptorBudget& folders,
                        DescriptorBudget* walkFolders) {
    EntryResolver resolver(root_, settings_.folderPath(), folders);
    StreamedEntries streamed(summaryFile_, settings_.summaryName, first.entries, first.bytes);
    if (!settings_.additions) {
        SummaryEntry entry;
        while (streamed.next(entry)) pushEntry(sink, std::move(entry), resolver);
        return streamed.whole();
    }
    const WalkOrder order(settings_.folderPath());
    std::optional<SortedEntries> sorted;
    // A summary in any other order (one md5sum wrote) is held and sorted.
    if (!first.inWalkOrder) sorted.emplace(streamed, order);
    SummaryEntries& entries = sorted ? static_cast<SummaryEntries&>(*sorted) : streamed;
    DescriptorBudget ownWalkFolders(folders.tokens());
    TreeWalk walk(root_, walkSettingsFor(settings_, false), walkFolders ? *walkFolders : ownWalkFolders);
    SummaryWalkMerge(sink, entries, listed_, order, resolver).run(walk);
    return streamed.whole();
}

JobResult VerifyJob::verifySummary(const std::function<void(TaskSource& source)>& hash, unsigned threads,
                                   DescriptorBudget& folders, DescriptorBudget* walkFolders) {
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
    bool anyNew = false;
    {
        std::atomic<bool> readWhole{false};
        DigestPipeline<VerifyItem> checks(
            [&](ItemSink<VerifyItem>& sink) { readWhole = produce(sink, first, folders, walkFolders); }, hash,
            threads);
        SummaryWriter rewrite(rewriteFile_, problems_);
        Changes changes;
        for (std::uint64_t done = 0;; ++done) {
            bar_.files(done, std::max(first.entries, done + 1));  // it stands at an item while it is checked
            const std::optional<DigestPipeline<VerifyItem>::Next> next = checks.next();
            if (!next) break;
            const VerifyItem& item = next->item;
            const FileDigest& digest = next->done.digest;
            const std::u16string& name = next->done.other ? item.others[*next->done.other] : item.name;
            countDone(digest);
            if (take(item, name, digest, rewrite, changes, result)) problemFound = true;
        }
        // Entries the summary holds and the check never met are not checked
        // ones: the summary could not be read as it was counted.
        if (!readWhole) {
            problems_.logProblem(settings_.summaryPath(), kMissingData);
            problemFound = true;
        }
        if (changes.report(problems_)) problemFound = true;
        anyNew = changes.anyNew();
        if (finish(rewrite, readWhole, problemFound || anyNew) || rewrite.failed()) problemFound = true;
    }
    progress_.EndJob(problemFound);
    return result;
}

bool VerifyJob::take(const VerifyItem& item, const std::u16string& name, const FileDigest& digest,
                     SummaryWriter& rewrite, Changes& changes, JobResult& result) {
    switch (item.kind) {
        case VerifyItem::Kind::UnreadableFolder:
            problems_.logVerdict(name, Verdict::UnreadableFolder);
            return true;
        case VerifyItem::Kind::UnwritableName:
            problems_.logVerdict(name, Verdict::UnwritableName);
            return true;
        case VerifyItem::Kind::New:
            // Gone again before it could be read: nothing of it to say.
            if (digest.result == DigestResult::NotFound) return false;
            if (digest.result != DigestResult::Computed) {
                problems_.logVerdict(name, Verdict::Unreadable);
                return true;
            }
            changes.added(name, digest.digits, digest.bytes);
            if (settings_.rewriteOnDifference) rewrite.add(digest.digits, name);
            return false;
        case VerifyItem::Kind::Listed:
            break;
    }
    const Verdict verdict = judgeEntry(item.stored, digest, recorded_);
    if (verdict == Verdict::Damaged) {
        counts_.damaged += 1;
        progress_.SetCounts(counts_);
    }
    if (verdict == Verdict::NotFound && settings_.additions) {
        // Said at the end, once the new files are known: it may have moved.
        changes.gone(name, item.stored);
        return false;
    }
    report(verdict, name, item.stored, digest);
    if (verdict == Verdict::NotFound) return true;
    // A file there but unreadable keeps its recorded digest, so that a
    // rewrite taken for the summary still checks it next time.
    const char(&digits)[32] = verdict == Verdict::Unreadable ? item.stored : digest.digits;
    if (settings_.rewriteOnDifference) rewrite.add(digits, name);
    if (verdict != Verdict::Unreadable) ++result.files;
    return verdict != Verdict::Good;
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

bool VerifyJob::finish(SummaryWriter& rewrite, bool complete, bool differed) {
    // A rewrite that lacks entries the summary holds would lose them when
    // taken for it: it is dropped, and an older one stays as it was.
    if (!complete) return false;
    if (!differed || !settings_.rewriteOnDifference) {
        rewrite.remove();
        return false;
    }
    // With no line written an older rewrite stays as it was.
    const SummaryWriter::Committed committed = rewrite.commit();
    return committed == SummaryWriter::Committed::Failed || committed == SummaryWriter::Committed::ReplacedNotOnDisk;
}
