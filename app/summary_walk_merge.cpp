#include "summary_walk_merge.h"

#include <algorithm>

#include "name_compare.h"

using namespace TesselLibrary;

namespace {

// A path of the walk as the summary spells the folder, so that it is
// compared with the entries, and new files are named, as they are.
std::u16string AsListed(std::u16string walked, const SummaryWalkMerge::Spellings& root) {
    if (root.listed == root.walked || walked.compare(0, root.walked.size(), root.walked) != 0) return walked;
    return root.listed + walked.substr(root.walked.size());
}

// Whether the walk's file `path` is `entry`, in any of its readings.
bool IsEntry(const SummaryEntry& entry, const std::u16string& path) {
    const std::u16string key = NameKey(path);
    if (NameKey(entry.name) == key) return true;
    return std::any_of(entry.otherReadings.begin(), entry.otherReadings.end(),
                       [&](const std::u16string& other) { return NameKey(other) == key; });
}

}  // namespace

void pushEntry(ItemSink<VerifyItem>& sink, SummaryEntry&& entry, EntryResolver& resolver, std::uint64_t line) {
    const auto stopping = [&] { return sink.stopping(); };
    VerifyItem item;
    item.line = line;
    std::copy(entry.digest, entry.digest + 32, item.stored);
    item.name = std::move(entry.name);
    // The same bytes may have been meant in another encoding a summary line
    // can hold (a Latin-1 name can look like UTF-8, md5sum puts a mode
    // character before the name): those readings are tried when the first
    // is not found.
    item.others = std::move(entry.otherReadings);
    item.asRead = entry.asRead;
    DigestTask task;
    task.file = resolver.Locate(item.name, stopping);
    for (const std::u16string& other : item.others) task.others.push_back(resolver.Locate(other, stopping));
    sink.push(std::move(item), std::move(task));
}

void SummaryWalkMerge::run(BuildListing& walk) {
    walk.Run(*this);
    while (current()) passEntry();
}

bool SummaryWalkMerge::current() {
    if (entry_) return true;
    if (entriesDone_) return false;
    SummaryEntry next;
    if (!entries_.next(next)) {
        entriesDone_ = true;
        return false;
    }
    entry_ = std::move(next);
    return true;
}

void SummaryWalkMerge::passEntry() {
    pushEntry(out_, std::move(*entry_), resolver_);
    entry_.reset();
}

void SummaryWalkMerge::push(BuildItem&& item, DigestTask&& task) {
    VerifyItem found;
    found.name = AsListed(std::move(item.path), listing_.root);
    if (item.kind != BuildItem::Kind::File) {
        found.kind = item.kind == BuildItem::Kind::UnreadableFolder ? VerifyItem::Kind::UnreadableFolder
                                                                    : VerifyItem::Kind::UnwritableName;
        out_.push(std::move(found), std::move(task));
        return;
    }
    // The entries the walk has gone past without meeting them.
    while (current() && !IsEntry(*entry_, found.name) && listing_.order.before(orderKey(*entry_), found.name))
        passEntry();
    if (current() && IsEntry(*entry_, found.name)) {
        // Listed, and found where the walk found it.
        found.kind = VerifyItem::Kind::Listed;
        std::copy(entry_->digest, entry_->digest + 32, found.stored);
        found.asRead = entry_->asRead;
        entry_.reset();
        out_.push(std::move(found), std::move(task));
        return;
    }
    // Listed elsewhere in a summary out of the walk's order: that entry is
    // (or was) checked where its path leads.
    if (listing_.names.lists(found.name)) return;
    found.kind = VerifyItem::Kind::New;
    out_.push(std::move(found), std::move(task));
}
