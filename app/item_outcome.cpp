#include "item_outcome.h"

ItemOutcome judgeItem(const VerifyItem& item, const FileDigest& digest, const DateEvidence& run, bool additions) {
    using Kind = ItemOutcome::Kind;
    switch (item.kind) {
        case VerifyItem::Kind::UnreadableFolder: return {Kind::NotTaken, Verdict::UnreadableFolder};
        case VerifyItem::Kind::UnwritableName: return {Kind::NotTaken, Verdict::UnwritableName};
        case VerifyItem::Kind::New: {
            // Listed by the walk and not found when read: most often a link
            // whose target is gone (on a disk not mounted), which the build
            // says so of too; a file deleted in between is said the same way.
            const Verdict verdict = judgeDigest(digest.result);
            return {verdict == Verdict::Good ? Kind::New : Kind::NotTaken, verdict};
        }
        case VerifyItem::Kind::Listed: break;
    }
    DateEvidence evidence = run;
    evidence.asRead = item.asRead;
    const Verdict verdict = judgeEntry(item.stored, digest, evidence);
    // With -a a file not found may have moved: that is known at the end.
    if (verdict == Verdict::NotFound && additions) return {Kind::Gone, verdict};
    return {Kind::Judged, verdict};
}

bool isFileChecked(const ItemOutcome& outcome) {
    return outcome.kind == ItemOutcome::Kind::Judged && outcome.verdict != Verdict::Unreadable &&
           outcome.verdict != Verdict::NotFound;
}
