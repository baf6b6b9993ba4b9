// Where the outcome of each item of a check goes, in the order the items are
// checked: its line in the log, its line in the rewrite, its place in the
// list of changes (-a) and, with -b, its healing from the copy. Files the
// copy heals are healed several at once: from the first of them on, every
// outcome is held, in order, until the batch is put in place, and then each
// is taken as it came, the healed files' lines from their healing's result.
// So the log and the rewrite read as if each file had been healed in turn.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "changes.h"
#include "engine/digest_result.h"
#include "engine/verify_item.h"
#include "healing.h"
#include "item_outcome.h"
#include "problem_log.h"
#include "summary_writer.h"

// One item as the check met it: the entry (or new file), the name its file
// was found under (one of its readings), and the digest made of it.
struct CheckedItem {
    const VerifyItem& item;
    const std::u16string& name;
    const FileDigest& digest;
};

// The healing of a check (-b): the copy that heals, and how many files it
// heals at once (1: each as it comes, when a check in slices keeps its
// place as it goes).
struct HealingBatch {
    const Healer* healer = nullptr;
    std::size_t files = 1;
};

class OutcomeTaker {
public:
    // `rewriting`: a rewrite is asked for (-r), so every line it would hold
    // is written.
    OutcomeTaker(const ProblemLog& problems, SummaryWriter& rewrite, Changes& changes, HealingBatch healing,
                 bool rewriting)
        : problems_(problems), rewrite_(rewrite), changes_(changes), healing_(healing), rewriting_(rewriting) {}

    void take(const CheckedItem& checked, const ItemOutcome& outcome);
    // The check's last item taken: what is held is healed and taken.
    void finish();

private:
    // An outcome held back until the files healed before it are.
    struct Held {
        VerifyItem item;
        std::u16string name;
        FileDigest digest;
        ItemOutcome outcome;
        std::optional<std::size_t> request;  // its request in requests_, when it asks for one
        std::optional<Healing> healing;      // its healing, once known
    };

    // The outcome's lines, `healing` the file's when the copy healed it.
    void apply(const CheckedItem& checked, const ItemOutcome& outcome, const Healing* healing);
    void hold(const CheckedItem& checked, const ItemOutcome& outcome);

    const ProblemLog& problems_;
    SummaryWriter& rewrite_;
    Changes& changes_;
    const HealingBatch healing_;
    const bool rewriting_;
    std::vector<Held> held_;
    std::vector<Healer::Request> requests_;
};
