#include "outcome_taker.h"

#include "engine/tree_walk.h"

void OutcomeTaker::take(const CheckedItem& checked, const ItemOutcome& outcome) {
    switch (outcome.kind) {
        case ItemOutcome::Kind::NotTaken:
            logVerdict(problems_, checked.name, outcome.verdict);
            return;
        case ItemOutcome::Kind::New:
            changes_.added(checked.name, checked.digest.digits, checked.digest.bytes);
            if (rewriting_) rewrite_.add(checked.digest.digits, checked.name, asReadOf(checked.digest));
            return;
        case ItemOutcome::Kind::Gone:
            changes_.gone(checked.name, checked.item.stored);
            return;
        case ItemOutcome::Kind::Judged:
            break;
    }
    report(checked, outcome.verdict);
    const bool healed = heal(checked, outcome.verdict);
    if (outcome.verdict == Verdict::NotFound && !healed) return;
    if (rewriting_) rewriteLine(checked, outcome.verdict, healed);
}

void OutcomeTaker::report(const CheckedItem& checked, Verdict verdict) {
    if (!isMismatch(verdict)) {
        logVerdict(problems_, checked.name, verdict);
        return;
    }
    const char(&stored)[32] = checked.item.stored;
    const char(&found)[32] = checked.digest.digits;
    problems_.logMismatch(checked.name, {std::u16string(stored, stored + 32), std::u16string(found, found + 32),
                                         verdict, checked.digest.modified});
}

bool OutcomeTaker::heal(const CheckedItem& checked, Verdict verdict) const {
    if (!healer_ || !healsVerdict(verdict) || checked.name != checked.item.name) return false;
    // The file put back is given the date it had when it was read for the
    // summary, so that the record beside it holds for it again; without a
    // record, the copy's.
    const Healing healing =
        healer_->heal(checked.name, checked.item.stored, checked.digest, verdict, recordedDate(checked.item));
    Healer::report(problems_, checked.name, healing);
    return healing.outcome == HealOutcome::Repaired || healing.outcome == HealOutcome::Restored;
}

void OutcomeTaker::rewriteLine(const CheckedItem& checked, Verdict verdict, bool healed) {
    // A name with a line end (md5sum's lists escape them) would break the
    // rewrite's line in two.
    if (!FitsOnOneLine(checked.name)) {
        rewrite_.leaveOut(checked.name);
        return;
    }
    // A file there but unreadable keeps its recorded digest and its record,
    // so that a rewrite taken for the summary still checks it next time; so
    // does a file healed, whose recorded bytes it now holds, given its
    // recorded date.
    if (verdict == Verdict::Unreadable || healed) {
        rewrite_.add(checked.item.stored, checked.name, checked.item.asRead);
    } else {
        rewrite_.add(checked.digest.digits, checked.name, asReadOf(checked.digest));
    }
}
