#include "verify_job.h"

#include <algorithm>
#include <atomic>
#include <chrono>

#include "changes.h"
#include "engine/digest_pipeline.h"
#include "engine/entry_resolver.h"
#include "engine/hashing_thread.h"
#include "engine/thread_count.h"
#include "engine/tree_walk.h"
#include "engine/verify_item.h"
#include "file_dates.h"
#include "file_reader.h"
#include "folders.h"
#include "path.h"
#include "relocation.h"
#include "slice.h"
#include "slice_run.h"
#include "string_ids.h"
#include "summary_entries.h"
#include "summary_format.h"
#include "summary_walk_merge.h"
#include "summary_writer.h"
#include "walk_settings.h"

using namespace TesselLibrary;

namespace {

FileTime now() {
    const auto since = std::chrono::system_clock::now().time_since_epoch();
    const auto seconds = std::chrono::floor<std::chrono::seconds>(since);
    return FileTime{seconds.count(), static_cast<std::uint32_t>(
                                         std::chrono::duration_cast<std::chrono::nanoseconds>(since - seconds).count())};
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

VerifyJob::FirstReading VerifyJob::readFirst(DescriptorBudget& folders, Slice* slice) {
    FirstReading first;
    const bool sizes = ProgressShowsCounts();
    WalkOrder order(settings_.folderPath());
    std::u16string previous;
    std::u16string current;
    first.own = OwnFiles(settings_.summaryName, settings_.folderPath(), CurrentFolder(current));
    const auto take = [&](SummaryLine& line) {
        // A line naming the summary, or a file that changes with it, could
        // never verify, and a rewrite holding it would list itself again.
        if (line.kind == SummaryLine::Kind::Entry && first.own.named(line.entry, first.relocation)) {
            line.kind = SummaryLine::Kind::InvalidFilename;
        }
        if (line.kind != SummaryLine::Kind::Entry) {
            first.anyInvalid = true;
            problems_.logProblem(u"", line.kind == SummaryLine::Kind::InvalidHash ? kInvalidHash : kInvalidFilename);
            return;
        }
        ++first.entries;
        first.fingerprint.add(line.entry.digest, line.entry.name);
        if (slice) slice->noteEntry(line.entry);
        first.relocation.apply(line.entry);
        if (sizes) counts_.bytesTotal += FileSizeOf(line.entry.name);
        if (!settings_.additions) return;
        // What a check that walks the folder needs: every name listed, and
        // whether the entries come in the walk's order.
        listed_.add(line.entry.name);
        for (const std::u16string& other : line.entry.otherReadings) listed_.add(other);
        const std::u16string& key = orderKey(line.entry);
        if (first.entries > 1 && order.before(key, previous)) first.inWalkOrder = false;
        previous = key;
    };
    // The summary's first lines are held until they have decided where its
    // entries are checked: that is said first, and no file is looked at
    // where it was recorded.
    RelocationFinder finder(settings_.folderPath());
    std::vector<SummaryLine> held;
    bool decided = false;
    const auto decide = [&](const RelocationDecision& decision) {
        decided = true;
        sayRelocation(decision, first);
        order = WalkOrder(first.walkRoot);
        for (SummaryLine& line : held) take(line);
        held = {};
    };
    SummaryReader reader(summaryFile_, settings_.summaryName);
    SummaryLine line;
    while (reader.Next(line)) {
        if (decided) {
            take(line);
            continue;
        }
        if (line.kind == SummaryLine::Kind::Entry) finder.consider(line.entry);
        held.push_back(std::move(line));
        if (held.size() == RelocationFinder::kLinesLookedAt || held.size() == RelocationFinder::kLinesLookedAtMost) {
            const RelocationDecision decision = findRelocation(finder, folders);
            if (!decision.unanswered || held.size() == RelocationFinder::kLinesLookedAtMost) decide(decision);
        }
    }
    if (!decided) decide(findRelocation(finder, folders));
    listed_.seal();
    first.read = !reader.readFailed();
    first.bytes = reader.bytesRead();
    counts_.filesTotal = first.entries;
    return first;
}

bool VerifyJob::produce(ItemSink<VerifyItem>& sink, const FirstReading& first, DescriptorBudget& folders,
                        DescriptorBudget* walkFolders, const Slice* slice) {
    // Whoever could have written the summary decides what its lines may
    // have root read outside the folder.
    EntryResolver resolver(root_, settings_.folderPath(), folders,
                           root_ ? OwnerReads::For(*root_, summaryFile_) : nullptr);
    if (slice) return produceSlice(sink, first, resolver, slice->first());
    StreamedEntries streamed(summaryFile_, settings_.summaryName, first.met(), dates_.get());
    if (!settings_.additions) {
        SummaryEntry entry;
        while (streamed.next(entry)) pushEntry(sink, std::move(entry), resolver, streamed.line());
        return streamed.whole();
    }
    const WalkOrder order(first.walkRoot);
    std::optional<SortedEntries> sorted;
    // A summary in any other order (one md5sum wrote) is sorted, reading it
    // again from its start for each pass.
    if (!first.inWalkOrder) {
        sorted.emplace(
            [&]() -> std::unique_ptr<SummaryEntries> {
                if (!summaryFile_.Rewind()) return nullptr;
                // Each pass reads each entry's record along with it again;
                // an entry without one is judged as the summary's date tells.
                if (dates_ && !dates_->restart()) dates_.reset();
                return std::make_unique<StreamedEntries>(summaryFile_, settings_.summaryName, first.met(), dates_.get());
            },
            order);
    }
    SummaryEntries& entries = sorted ? static_cast<SummaryEntries&>(*sorted) : streamed;
    DescriptorBudget ownWalkFolders(folders.tokens());
    TreeWalk walk(root_, walkSettingsFor(settings_, false), walkFolders ? *walkFolders : ownWalkFolders);
    SummaryWalkMerge(sink, entries, listed_, order, resolver, {settings_.folderPath(), first.walkRoot}).run(walk);
    return entries.whole();
}

bool VerifyJob::produceSlice(ItemSink<VerifyItem>& sink, const FirstReading& first, EntryResolver& resolver,
                             std::uint64_t from) {
    SummaryEntry entry;
    StreamedEntries toLast(summaryFile_, settings_.summaryName, first.met(), dates_.get());
    for (std::uint64_t index = 0; toLast.next(entry); ++index) {
        if (index >= from) pushEntry(sink, std::move(entry), resolver, toLast.line());
    }
    if (!toLast.whole()) return false;
    if (from == 0) return true;
    if (!summaryFile_.Rewind()) return false;
    // An entry without its record is judged as the summary's date tells.
    if (dates_ && !dates_->restart()) dates_.reset();
    StreamedEntries fromFirst(summaryFile_, settings_.summaryName, first.met(), dates_.get());
    std::uint64_t index = 0;
    for (; index < from && fromFirst.next(entry); ++index) pushEntry(sink, std::move(entry), resolver, fromFirst.line());
    return index == from;
}

JobResult VerifyJob::verifySummary(const std::function<void(TaskSource& source)>& hash, unsigned threads,
                                   DescriptorBudget& folders, DescriptorBudget* walkFolders) {
    bar_.step(JobBar::Step::Begun);
    bar_.status(settings_.folder.empty() ? DirectoryOf(settings_.singleFile) : settings_.folder);
    SliceRun sliceRun(settings_, root_, problems_);
    began_ = now();
    twoSecondDates_ = root_ && root_->KeepsTwoSecondDates();
    if (!summaryFile_.OpenRead()) return endWithoutSummary();
    FileTime written;
    if (summaryFile_.Modified(&written)) recorded_ = written;
    const FirstReading first = readFirst(folders, sliceRun.slice());
    if (!first.read) return endWithoutSummary();
    dates_ = openDates(first);
    bar_.step(JobBar::Step::SummaryRead);
    // A summary cut to nothing by a crash or a full disk checks nothing.
    if ((first.entries == 0 && !first.anyInvalid) || !summaryFile_.Rewind()) return endWithoutSummary();
    bar_.step(JobBar::Step::Ready);
    sliceRun.begin(first.entries);
    JobResult result;
    result.entries = first.entries;
    checkEntries(first, hash, threads, folders, walkFolders, sliceRun, result);
    progress_.EndJob(runFailed(problems_.counts(), false, before_));
    return result;
}

void VerifyJob::checkEntries(const FirstReading& first, const std::function<void(TaskSource& source)>& hash,
                             unsigned threads, DescriptorBudget& folders, DescriptorBudget* walkFolders,
                             SliceRun& sliceRun, JobResult& result) {
    if (settings_.copyFolder) healer_.emplace(*settings_.copyFolder, root_, first.walkRoot, healingDay());
    std::atomic<bool> readWhole{false};
    DigestPipeline<VerifyItem> checks(
        [&](ItemSink<VerifyItem>& sink) { readWhole = produce(sink, first, folders, walkFolders, sliceRun.slice()); },
        hash, threads);
    SummaryWriter rewrite(
        rewriteFile_, problems_,
        fileDatesBeside(root_, RewriteName(settings_.summaryName), RewriteName(settings_.summaryPath())));
    Changes changes;
    bool sliceOver = false;
    for (std::uint64_t done = 0; !sliceOver; ++done) {
        const std::uint64_t total = std::max(first.entries, done + 1);
        bar_.files(done, total);  // it stands at an item while it is checked
        while (sliceRun.active() && !checks.readyWithin(Slice::kSaveEvery)) sliceRun.waiting();
        // Within a large file the bar follows its bytes read.
        const std::optional<DigestPipeline<VerifyItem>::Next> next =
            checks.next([&](std::uint64_t read, std::uint64_t size) {
                bar_.files(done, total, static_cast<double>(read) / static_cast<double>(size));
                ProgressCounts shown = counts_;
                shown.bytesDone += read;
                progress_.SetCounts(shown);
            });
        if (!next) break;
        const VerifyItem& item = next->item;
        const FileDigest& digest = next->done.digest;
        const std::u16string& name = next->done.other ? item.others[*next->done.other] : item.name;
        countDone(digest);
        result.bytesRead += digest.bytes;
        take(item, name, digest, rewrite, changes, result);
        sliceOver = !sliceRun.judged(item.line);
    }
    // Entries the summary holds and the check never met are not checked
    // ones: the summary could not be read as it was counted. A slice whose
    // time is up meets only its own.
    const bool complete = readWhole || sliceOver;
    if (!complete) problems_.logProblem(settings_.summaryPath(), kMissingData);
    sliceRun.end(result);
    changes.report(problems_);
    // Something a fresh summary would say otherwise: a problem, or a new
    // file. Not knowing where the files are is none, though it fails the run:
    // a fresh summary would say just what this one says.
    // The rewrite's own failure to be written is none either.
    const auto differing = [](const RunCounts& counts) {
        return counts.problems - counts.kinds.undecided + counts.newFiles;
    };
    finish(rewrite, complete, differing(problems_.counts()) - differing(before_) > (rewrite.failed() ? 1u : 0u));
}

void VerifyJob::take(const VerifyItem& item, const std::u16string& name, const FileDigest& digest,
                     SummaryWriter& rewrite, Changes& changes, JobResult& result) {
    switch (item.kind) {
        case VerifyItem::Kind::UnreadableFolder:
            logVerdict(problems_, name, Verdict::UnreadableFolder);
            return;
        case VerifyItem::Kind::UnwritableName:
            logVerdict(problems_, name, Verdict::UnwritableName);
            return;
        case VerifyItem::Kind::New:
            // Listed by the walk and not found when read: most often a link
            // whose target is gone (on a disk not mounted), which the build
            // says so of too; a file deleted in between is said the same way.
            if (digest.result == DigestResult::NotFound) {
                logVerdict(problems_, name, Verdict::NotFound);
                return;
            }
            if (digest.result != DigestResult::Computed) {
                logVerdict(problems_, name, Verdict::Unreadable);
                return;
            }
            changes.added(name, digest.digits, digest.bytes);
            if (settings_.rewriteOnDifference) rewrite.add(digest.digits, name, asReadOf(digest));
            return;
        case VerifyItem::Kind::Listed:
            break;
    }
    DateEvidence evidence;
    evidence.asRead = item.asRead;
    evidence.summaryWritten = recorded_;
    evidence.checkBegan = began_;
    evidence.twoSecondDates = twoSecondDates_;
    const Verdict verdict = judgeEntry(item.stored, digest, evidence);
    if (verdict == Verdict::Damaged) {
        counts_.damaged += 1;
        progress_.SetCounts(counts_);
    }
    if (verdict == Verdict::NotFound && settings_.additions) {
        // Said at the end, once the new files are known: it may have moved.
        changes.gone(name, item.stored);
        return;
    }
    report(verdict, name, item.stored, digest);
    const bool healed = heal(item, name, digest, verdict);
    if (verdict == Verdict::NotFound && !healed) return;
    // A file there but unreadable keeps its recorded digest, so that a
    // rewrite taken for the summary still checks it next time; so does a
    // file healed, whose recorded bytes it now holds.
    const char(&digits)[32] = verdict == Verdict::Unreadable || healed ? item.stored : digest.digits;
    if (verdict != Verdict::Unreadable && verdict != Verdict::NotFound) ++result.files;
    if (!settings_.rewriteOnDifference) return;
    // A name with a line end (md5sum's lists escape them) would break the
    // rewrite's line in two.
    if (FitsOnOneLine(name)) {
        // A file there but unreadable keeps its record too, and so does a
        // file healed, given its recorded date.
        rewrite.add(digits, name,
                    verdict == Verdict::Unreadable || healed ? item.asRead : std::optional(asReadOf(digest)));
    } else {
        rewrite.leaveOut(name);
    }
}

bool VerifyJob::heal(const VerifyItem& item, const std::u16string& name, const FileDigest& digest, Verdict verdict) {
    if (!healer_ || !healsVerdict(verdict) || name != item.name) return false;
    // The file put back is given the date it had when it was read for the
    // summary, so that the record beside it holds for it again; without a
    // record, the copy's.
    const Healing healing = healer_->heal(name, item.stored, digest, verdict, recordedDate(item));
    Healer::report(problems_, name, healing);
    return healing.outcome == HealOutcome::Repaired || healing.outcome == HealOutcome::Restored;
}

void VerifyJob::countDone(const FileDigest& digest) {
    counts_.filesDone += 1;
    counts_.bytesDone += digest.bytes;
    progress_.SetCounts(counts_);
}

void VerifyJob::report(Verdict verdict, const std::u16string& name, const char (&stored)[32],
                       const FileDigest& digest) {
    if (isMismatch(verdict)) {
        problems_.logMismatch(name, {std::u16string(stored, stored + 32),
                                     std::u16string(digest.digits, digest.digits + 32), verdict, digest.modified});
    } else {
        logVerdict(problems_, name, verdict);
    }
}

void VerifyJob::finish(SummaryWriter& rewrite, bool complete, bool differed) {
    // A rewrite that lacks entries the summary holds would lose them when
    // taken for it: it is dropped, and an older one stays as it was.
    if (!complete) return;
    if (!differed || !settings_.rewriteOnDifference) {
        rewrite.remove();
        return;
    }
    // The rewrite, taken for the summary, would no longer check them.
    for (const std::u16string& name : rewrite.leftOut()) logVerdict(problems_, name, Verdict::UnwritableName);
    // With no line written an older rewrite stays as it was.
    rewrite.commit();
}

std::unique_ptr<FileDatesReader> VerifyJob::openDates(const FirstReading& first) {
    const std::u16string& name = settings_.summaryName;
    const auto tied = [&](const std::u16string& summaryName, const std::u16string& summaryPath) {
        auto dates = std::make_unique<FileDatesReader>(fileDatesBeside(root_, summaryName, summaryPath));
        if (dates->tie(first.entries, first.fingerprint.value())) return dates;
        dates->close();
        return std::unique_ptr<FileDatesReader>();
    };
    if (auto own = tied(name, settings_.summaryPath())) return own;
    // A rewrite moved into the summary's place left its record beside its
    // own name. It is taken in as the summary's, even when the rewrite is
    // still there (copied, not moved): a record that fits both is as much
    // the one's as the other's, and a check that needs no rewrite removes it.
    const std::u16string rewriteName = RewriteName(name);
    auto rewrites = tied(rewriteName, RewriteName(settings_.summaryPath()));
    if (!rewrites || !root_) return rewrites;
    rewrites->close();
    if (!root_->Rename(FileDatesName(rewriteName), FileDatesName(name))) {
        return tied(rewriteName, RewriteName(settings_.summaryPath()));
    }
    root_->Sync();
    return tied(name, settings_.summaryPath());
}

RelocationDecision VerifyJob::findRelocation(const RelocationFinder& finder, DescriptorBudget& folders) {
    // Only asks what is there: reads nothing.
    EntryResolver resolver(root_, settings_.folderPath(), folders, nullptr);
    const auto exists = [&](const std::u16string& path) {
        const FilePlace place = resolver.Locate(path, [] { return false; });
        FileIdentity identity;
        return place.folder && place.folder->IdentityOf(place.name, &identity);
    };
    const auto sameAsChecked = [&](const std::u16string& folder) {
        const std::shared_ptr<Folder> other = root_ ? Folder::Open(folder) : nullptr;
        return other && other->identity() == root_->identity();
    };
    return finder.decide(exists, sameAsChecked);
}

void VerifyJob::sayRelocation(const RelocationDecision& decision, FirstReading& first) {
    const std::u16string checked = shownFolder(settings_.folderPath());
    switch (decision.kind) {
        case RelocationDecision::Kind::AsWritten:
            break;
        case RelocationDecision::Kind::Moved:
            problems_.logNews(checked, kRecordedUnder, shownFolder(decision.recordedUnder));
            break;
        case RelocationDecision::Kind::Undecided: {
            // Checked as written, these may be the files of another folder:
            // no clean bill of health for this one.
            std::u16string either;
            for (const std::u16string& folder : decision.candidates) {
                either += (either.empty() ? u"" : u" or ") + shownFolder(folder);
            }
            problems_.logProblem(checked, kRecordedUnder, either + u" (undecided: checked as written)");
            first.undecided = true;
            break;
        }
    }
    first.relocation = decision.relocation;
    first.walkRoot = decision.walkRoot(settings_.folderPath());
}
