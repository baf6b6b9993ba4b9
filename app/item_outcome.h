// What one item of a check came to, judged from the item and its digest
// alone (and from what tells an edit from damage), so that the log, the
// rewrite, the list of changes and the healing each apply it and none of
// them decides it again.
#pragma once

#include "engine/digest_result.h"
#include "engine/verify_item.h"
#include "verdict.h"

struct ItemOutcome {
    enum class Kind {
        Judged,    // an entry of the summary: `verdict` says how its file stands
        Gone,      // with -a, an entry whose file is not found: said at the end, once the new files are known
        New,       // with -a, a file the summary does not list, hashed
        NotTaken,  // with -a, what the walk met and could not take: `verdict` says why
    };
    Kind kind = Kind::Judged;
    Verdict verdict = Verdict::Good;
};

// The outcome of `item`, of which the check made `digest`. `run`: what tells
// an edit from damage for every entry of the run (the entry's own record is
// taken from the item); `additions`: the check looks for new files (-a).
ItemOutcome judgeItem(const VerifyItem& item, const FileDigest& digest, const DateEvidence& run, bool additions);

// Whether the outcome is a file checked: one that was there and read.
bool isFileChecked(const ItemOutcome& outcome);
