// Where the outcome of each item of a check goes, in the order the items are
// checked: its line in the log, its line in the rewrite, its place in the
// list of changes (-a) and, with -b, its healing from the copy. A file the
// copy heals has its rewrite line written once the healing's result is
// known, from that result alone: the healing of several files at once can
// hold such outcomes back and take their lines when their batch is healed.
#pragma once

#include <string>

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

class OutcomeTaker {
public:
    // `healer`: the copy that heals (-b), null without one; `rewriting`: a
    // rewrite is asked for (-r), so every line it would hold is written.
    OutcomeTaker(const ProblemLog& problems, SummaryWriter& rewrite, Changes& changes, const Healer* healer,
                 bool rewriting)
        : problems_(problems), rewrite_(rewrite), changes_(changes), healer_(healer), rewriting_(rewriting) {}

    void take(const CheckedItem& checked, const ItemOutcome& outcome);

private:
    // The log line of an entry's verdict, if it has one.
    void report(const CheckedItem& checked, Verdict verdict);
    // With -b: heals a file the verdict says is damaged, unreadable or
    // missing, and says how it went; true when the copy's file is in place.
    bool heal(const CheckedItem& checked, Verdict verdict) const;
    // The entry's line in the rewrite.
    void rewriteLine(const CheckedItem& checked, Verdict verdict, bool healed);

    const ProblemLog& problems_;
    SummaryWriter& rewrite_;
    Changes& changes_;
    const Healer* healer_;
    const bool rewriting_;
};
