#include "first_reading.h"

#include <vector>

#include "engine/entry_resolver.h"
#include "engine/walk_order.h"
#include "file_reader.h"
#include "folders.h"
#include "relocation.h"
#include "slice.h"
#include "string_ids.h"
#include "summary_format.h"
#include "tessel_progress.h"

using namespace TesselLibrary;

namespace {

// Takes the summary's lines once where its entries are checked is decided.
class LineTaker {
public:
    LineTaker(FirstReading& first, const ProblemLog& problems, Slice* slice, bool additions)
        : first_(first), problems_(problems), slice_(slice), additions_(additions), sizes_(ProgressShowsCounts()) {}

    // An invalid line logged, an entry counted, noted and listed.
    void take(SummaryLine& line);
    // The walk's order, in the folder as the summary spells it.
    void orderIn(const std::u16string& walkRoot) { order_ = WalkOrder(walkRoot); }

private:
    // What a check that walks the folder needs: every name listed, and
    // whether the entries come in the walk's order.
    void list(const SummaryEntry& entry);

    FirstReading& first_;
    const ProblemLog& problems_;
    Slice* slice_;
    const bool additions_;
    const bool sizes_;
    WalkOrder order_{u""};
    std::u16string previous_;  // the walk's key of the entry before
};

void LineTaker::take(SummaryLine& line) {
    // A line naming the summary, or a file that changes with it, could
    // never verify, and a rewrite holding it would list itself again.
    if (line.kind == SummaryLine::Kind::Entry && first_.met.own.named(line.entry, first_.met.relocation)) {
        line.kind = SummaryLine::Kind::InvalidFilename;
    }
    if (line.kind != SummaryLine::Kind::Entry) {
        first_.anyInvalid = true;
        problems_.logProblem(u"", line.kind == SummaryLine::Kind::InvalidHash ? kInvalidHash : kInvalidFilename);
        return;
    }
    ++first_.met.counted;
    first_.fingerprint.add(line.entry.digest, line.entry.name);
    if (slice_) slice_->noteEntry(line.entry);
    first_.met.relocation.apply(line.entry);
    if (sizes_) first_.bytesTotal += FileSizeOf(line.entry.name);
    if (additions_) list(line.entry);
}

void LineTaker::list(const SummaryEntry& entry) {
    first_.listed.add(entry.name);
    for (const std::u16string& other : entry.otherReadings) first_.listed.add(other);
    const std::u16string& key = orderKey(entry);
    if (first_.met.counted > 1 && order_.before(key, previous_)) first_.inWalkOrder = false;
    previous_ = key;
}

// Where the entries the finder was offered are checked, from what exists
// below the folder checked. Only asks what is there: reads nothing.
RelocationDecision FindRelocation(const RelocationFinder& finder, const std::shared_ptr<const Folder>& root,
                                  const std::u16string& folderPath, DescriptorBudget& folders) {
    EntryResolver resolver(root, folderPath, folders, nullptr);
    const auto exists = [&](const std::u16string& path) {
        const FilePlace place = resolver.Locate(path, [] { return false; });
        FileIdentity identity;
        return place.folder && place.folder->IdentityOf(place.name, &identity);
    };
    const auto sameAsChecked = [&](const std::u16string& folder) {
        const std::shared_ptr<Folder> other = root ? Folder::Open(folder) : nullptr;
        return other && other->identity() == root->identity();
    };
    return finder.decide(exists, sameAsChecked);
}

// Says the decision, made once per run, when the entries moved or when it
// cannot tell (the log's first line).
void SayRelocation(const RelocationDecision& decision, const ProblemLog& problems, const std::u16string& folderPath) {
    const std::u16string checked = shownFolder(folderPath);
    switch (decision.kind) {
        case RelocationDecision::Kind::AsWritten: break;
        case RelocationDecision::Kind::Moved:
            problems.logNews(checked, kRecordedUnder, shownFolder(decision.recordedUnder));
            break;
        case RelocationDecision::Kind::Undecided: {
            // Checked as written, these may be the files of another folder:
            // no clean bill of health for this one.
            std::u16string either;
            for (const std::u16string& folder : decision.candidates) {
                either += (either.empty() ? u"" : u" or ") + shownFolder(folder);
            }
            problems.logProblem(checked, kRecordedUnder, either + u" (undecided: checked as written)");
            break;
        }
    }
}

}  // namespace

FirstReading FirstReader::read(DescriptorBudget& folders, Slice* slice) const {
    FirstReading first;
    std::u16string current;
    first.met.own = OwnFiles(settings_.summaryName, settings_.folderPath(), CurrentFolder(current));
    LineTaker taker(first, problems_, slice, settings_.check.additions);
    // The summary's first lines are held until they have decided where its
    // entries are checked: that is said first, and no file is looked at
    // where it was recorded.
    RelocationFinder finder(settings_.folderPath());
    std::vector<SummaryLine> held;
    bool decided = false;
    const auto decide = [&](const RelocationDecision& decision) {
        decided = true;
        SayRelocation(decision, problems_, settings_.folderPath());
        first.met.relocation = decision.relocation;
        first.walkRoot = decision.walkRoot(settings_.folderPath());
        taker.orderIn(first.walkRoot);
        for (SummaryLine& line : held) taker.take(line);
        held = {};
    };
    const auto findRelocation = [&] { return FindRelocation(finder, root_, settings_.folderPath(), folders); };
    SummaryReader reader(summaryFile_, settings_.summaryName);
    for (SummaryLine line; reader.Next(line);) {
        if (decided) {
            taker.take(line);
            continue;
        }
        if (line.kind == SummaryLine::Kind::Entry) finder.consider(line.entry);
        held.push_back(std::move(line));
        if (held.size() == RelocationFinder::kLinesLookedAt || held.size() == RelocationFinder::kLinesLookedAtMost) {
            const RelocationDecision decision = findRelocation();
            if (!decision.unanswered || held.size() == RelocationFinder::kLinesLookedAtMost) decide(decision);
        }
    }
    if (!decided) decide(findRelocation());
    first.listed.seal();
    first.read = !reader.readFailed();
    first.met.bytes = reader.bytesRead();
    return first;
}
