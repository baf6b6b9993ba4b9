#include "outcome_taker.h"

#include <utility>

#include "engine/tree_walk.h"

namespace {

// Outcomes held behind a file to heal, at most: a long run of good files
// after a damaged one is not kept in memory to wait for the next.
constexpr std::size_t kMostHeld = 4096;

// Whether the copy is asked to heal the item.
bool Heals(const HealingBatch& healing, const CheckedItem& checked, const ItemOutcome& outcome) {
    return healing.healer && outcome.kind == ItemOutcome::Kind::Judged && healsVerdict(outcome.verdict) &&
           checked.name == checked.item.name;
}

// The log line of an entry's verdict, if it has one.
void Report(const ProblemLog& problems, const CheckedItem& checked, Verdict verdict) {
    if (!isMismatch(verdict)) {
        logVerdict(problems, checked.name, verdict);
        return;
    }
    const char(&stored)[32] = checked.item.stored;
    const char(&found)[32] = checked.digest.digits;
    problems.logMismatch(checked.name, {std::u16string(stored, stored + 32), std::u16string(found, found + 32), verdict,
                                        checked.digest.modified});
}

// The entry's line in the rewrite.
void RewriteLine(SummaryWriter& rewrite, const CheckedItem& checked, Verdict verdict, bool healed) {
    // A name with a line end (md5sum's lists escape them) would break the
    // rewrite's line in two.
    if (!FitsOnOneLine(checked.name)) {
        rewrite.leaveOut(checked.name);
        return;
    }
    // A file there but unreadable keeps its recorded digest and its record,
    // so that a rewrite taken for the summary still checks it next time; so
    // does a file healed, whose recorded bytes it now holds, given its
    // recorded date.
    if (verdict == Verdict::Unreadable || healed) {
        rewrite.add(checked.item.stored, checked.name, checked.item.asRead);
    } else {
        rewrite.add(checked.digest.digits, checked.name, asReadOf(checked.digest));
    }
}

}  // namespace

void OutcomeTaker::take(const CheckedItem& checked, const ItemOutcome& outcome) {
    if (!Heals(healing_, checked, outcome) && held_.empty()) {
        apply(checked, outcome, nullptr);
        return;
    }
    hold(checked, outcome);
    if (requests_.empty() || requests_.size() >= healing_.files || held_.size() >= kMostHeld) finish();
}

void OutcomeTaker::hold(const CheckedItem& checked, const ItemOutcome& outcome) {
    Held held{checked.item, checked.name, checked.digest, outcome, std::nullopt, std::nullopt};
    if (Heals(healing_, checked, outcome)) {
        // The file put back is given the date it had when it was read for
        // the summary, so that the record beside it holds for it again;
        // without a record, the copy's.
        auto asked = healing_.healer->request(checked.name, checked.item.stored, checked.digest, outcome.verdict,
                                              recordedDate(checked.item));
        if (auto* request = std::get_if<Healer::Request>(&asked)) {
            held.request = requests_.size();
            requests_.push_back(std::move(*request));
        } else {
            held.healing = std::get<Healing>(asked);
        }
    }
    held_.push_back(std::move(held));
}

void OutcomeTaker::finish() {
    std::vector<TesselLibrary::CopyRequest> copies;
    for (const Healer::Request& request : requests_) copies.push_back(request.copy);
    const auto takeHeld = [&](const Held& held) {
        apply({held.item, held.name, held.digest}, held.outcome, held.healing ? &*held.healing : nullptr);
    };
    // Each outcome is taken as soon as the files healed before it (and its
    // own) are in place: the log says a batch's repairs before the next
    // batch is put in place.
    std::size_t results = 0, taken = 0;
    const auto takeHealed = [&](const std::vector<TesselLibrary::CopyResult>& done) {
        for (const TesselLibrary::CopyResult& result : done) {
            for (; taken < held_.size() && held_[taken].request != results; ++taken) takeHeld(held_[taken]);
            held_[taken].healing = Healer::healed(requests_[results++], result);
            takeHeld(held_[taken++]);
        }
    };
    TesselLibrary::CopyAllIntoPlace(copies, takeHealed);
    for (; taken < held_.size(); ++taken) takeHeld(held_[taken]);
    held_.clear();
    requests_.clear();
}

void OutcomeTaker::apply(const CheckedItem& checked, const ItemOutcome& outcome, const Healing* healing) {
    switch (outcome.kind) {
        case ItemOutcome::Kind::NotTaken: logVerdict(problems_, checked.name, outcome.verdict); return;
        case ItemOutcome::Kind::New:
            changes_.added(checked.name, checked.digest.digits, checked.digest.bytes);
            if (rewriting_) rewrite_.add(checked.digest.digits, checked.name, asReadOf(checked.digest));
            return;
        case ItemOutcome::Kind::Gone: changes_.gone(checked.name, checked.item.stored); return;
        case ItemOutcome::Kind::Judged: break;
    }
    Report(problems_, checked, outcome.verdict);
    if (healing) Healer::report(problems_, checked.name, *healing);
    const bool healed =
        healing && (healing->outcome == HealOutcome::Repaired || healing->outcome == HealOutcome::Restored);
    if (outcome.verdict == Verdict::NotFound && !healed) return;
    if (rewriting_) RewriteLine(rewrite_, checked, outcome.verdict, healed);
}
