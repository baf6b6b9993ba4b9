// The producer of a check that also looks for new files (-a): the walk of
// the folder, by the build's rules, merged with the summary's entries as
// both go, in the walk's order. A walk file that is the entry at hand is
// checked where the walk found it; one the summary does not list is new; an
// entry the walk has gone past without meeting is checked where its path
// leads (it may lie out of the walk's reach, or be gone). Every entry is
// handed on exactly once, and so is every new file.
#pragma once

#include <optional>

#include "engine/digest_pipeline.h"
#include "engine/entry_resolver.h"
#include "engine/listed_names.h"
#include "engine/tree_walk.h"
#include "engine/verify_item.h"
#include "engine/walk_order.h"
#include "summary_entries.h"

class SummaryWalkMerge final : private ItemSink<BuildItem> {
public:
    // The folder walked as its paths start, and as the summary spells it
    // (the same folder under another spelling: a link, another letter case).
    struct Spellings {
        std::u16string walked;
        std::u16string listed;
    };
    // What the walk's files are compared with: every name the summary
    // lists, the walk's order, and the folder's two spellings.
    struct Listing {
        const ListedNames& names;
        const WalkOrder& order;
        Spellings root;
    };
    SummaryWalkMerge(ItemSink<VerifyItem>& out, SummaryEntries& entries, EntryResolver& resolver, Listing listing)
        : out_(out), entries_(entries), resolver_(resolver), listing_(std::move(listing)) {}

    // Runs the walk, then hands on the entries it did not reach.
    void run(BuildListing& walk);

private:
    void push(BuildItem&& item, DigestTask&& task) override;
    bool stopping() override { return out_.stopping(); }

    // The entry at hand, read when needed; false when there is none left.
    bool current();
    // Hands on the entry at hand, to be found by its path.
    void passEntry();

    ItemSink<VerifyItem>& out_;
    SummaryEntries& entries_;
    EntryResolver& resolver_;
    const Listing listing_;
    std::optional<SummaryEntry> entry_;
    bool entriesDone_ = false;
};

// An entry of the summary as an item of the check, with where its file is
// (`line`: its line in the summary, when known).
void pushEntry(ItemSink<VerifyItem>& sink, SummaryEntry&& entry, EntryResolver& resolver, std::uint64_t line = 0);
