#include "second_reading.h"

#include <optional>

#include "engine/tree_walk.h"
#include "engine/walk_order.h"
#include "path.h"
#include "slice.h"
#include "summary_entries.h"
#include "summary_format.h"
#include "summary_walk_merge.h"
#include "walk_settings.h"

using namespace TesselLibrary;

namespace {

// The record of each entry's file as read for the summary, when one beside
// it fits it; null when none does (ignored, said nowhere).
std::unique_ptr<FileDatesReader> OpenDates(const RunSettings& settings, const std::shared_ptr<const Folder>& root,
                                           const FirstReading& first) {
    const std::u16string& name = settings.summaryName;
    const auto tied = [&](const std::u16string& summaryName, const std::u16string& summaryPath) {
        auto dates = std::make_unique<FileDatesReader>(fileDatesBeside(root, summaryName, summaryPath));
        if (dates->tie(first.met.counted, first.fingerprint.value())) return dates;
        dates->close();
        return std::unique_ptr<FileDatesReader>();
    };
    if (auto own = tied(name, settings.summaryPath())) return own;
    // A rewrite moved into the summary's place left its record beside its
    // own name. It is taken in as the summary's, even when the rewrite is
    // still there (copied, not moved): a record that fits both is as much
    // the one's as the other's, and a check that needs no rewrite removes it.
    const std::u16string rewriteName = RewriteName(name);
    auto rewrites = tied(rewriteName, RewriteName(settings.summaryPath()));
    if (!rewrites || !root) return rewrites;
    rewrites->close();
    if (!root->Rename(FileDatesName(rewriteName), FileDatesName(name))) {
        return tied(rewriteName, RewriteName(settings.summaryPath()));
    }
    root->Sync();
    return tied(name, settings.summaryPath());
}

}  // namespace

SecondReader::SecondReader(const RunSettings& settings, std::shared_ptr<const Folder> root, TesselFile& summaryFile,
                           const FirstReading& first)
    : settings_(settings),
      root_(std::move(root)),
      summaryFile_(summaryFile),
      first_(first),
      dates_(OpenDates(settings, root_, first)) {}

bool SecondReader::produce(ItemSink<VerifyItem>& sink, DescriptorBudget& folders, DescriptorBudget* walkFolders,
                           const Slice* slice) {
    // Whoever could have written the summary decides what its lines may
    // have root read outside the folder.
    EntryResolver resolver(root_, settings_.folderPath(), folders,
                           root_ ? OwnerReads::For(*root_, summaryFile_) : nullptr);
    if (slice) return produceSlice(sink, resolver, slice->first());
    if (settings_.check.additions) return produceWithWalk(sink, resolver, folders, walkFolders);
    StreamedEntries streamed(summaryFile_, settings_.summaryName, first_.met, dates_.get());
    SummaryEntry entry;
    while (streamed.next(entry)) pushEntry(sink, std::move(entry), resolver, streamed.line());
    return streamed.whole();
}

bool SecondReader::produceWithWalk(ItemSink<VerifyItem>& sink, EntryResolver& resolver, DescriptorBudget& folders,
                                   DescriptorBudget* walkFolders) {
    const WalkOrder order(first_.walkRoot);
    StreamedEntries streamed(summaryFile_, settings_.summaryName, first_.met, dates_.get());
    std::optional<SortedEntries> sorted;
    // A summary in any other order (one md5sum wrote) is sorted, reading it
    // again from its start for each pass.
    if (!first_.inWalkOrder) sorted.emplace([&]() -> std::unique_ptr<SummaryEntries> { return readAgain(); }, order);
    SummaryEntries& entries = sorted ? static_cast<SummaryEntries&>(*sorted) : streamed;
    DescriptorBudget ownWalkFolders(folders.tokens());
    TreeWalk walk(root_, walkSettingsFor(settings_, false), walkFolders ? *walkFolders : ownWalkFolders);
    SummaryWalkMerge(sink, entries, resolver, {first_.listed, order, {settings_.folderPath(), first_.walkRoot}})
        .run(walk);
    return entries.whole();
}

std::unique_ptr<StreamedEntries> SecondReader::readAgain() {
    if (!summaryFile_.Rewind()) return nullptr;
    // Each reading takes each entry's record along with it again; an entry
    // without one is judged as the summary's date tells.
    if (dates_ && !dates_->restart()) dates_.reset();
    return std::make_unique<StreamedEntries>(summaryFile_, settings_.summaryName, first_.met, dates_.get());
}

bool SecondReader::produceSlice(ItemSink<VerifyItem>& sink, EntryResolver& resolver, std::uint64_t from) {
    SummaryEntry entry;
    StreamedEntries toLast(summaryFile_, settings_.summaryName, first_.met, dates_.get());
    for (std::uint64_t index = 0; toLast.next(entry); ++index) {
        if (index >= from) pushEntry(sink, std::move(entry), resolver, toLast.line());
    }
    if (!toLast.whole()) return false;
    if (from == 0) return true;
    const std::unique_ptr<StreamedEntries> fromFirst = readAgain();
    if (!fromFirst) return false;
    std::uint64_t index = 0;
    for (; index < from && fromFirst->next(entry); ++index) {
        pushEntry(sink, std::move(entry), resolver, fromFirst->line());
    }
    return index == from;
}
