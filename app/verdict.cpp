#include "verdict.h"

#include "engine/tree_walk.h"
#include "string_ids.h"
#include "summary_format.h"

Verdict judgeDigest(DigestResult result) {
    switch (result) {
        case DigestResult::Computed:
            return Verdict::Good;
        case DigestResult::NotFound:
            return Verdict::NotFound;
        case DigestResult::Unreadable:
            break;
    }
    return Verdict::Unreadable;
}

Verdict judgeBuildItem(const BuildItem& item, const FileDigest& digest) {
    switch (item.kind) {
        case BuildItem::Kind::UnreadableFolder:
            return Verdict::UnreadableFolder;
        case BuildItem::Kind::UnwritableName:
            return Verdict::UnwritableName;
        case BuildItem::Kind::File:
            break;
    }
    return judgeDigest(digest.result);
}

Verdict judgeEntry(const char (&stored)[32], const FileDigest& digest,
                   const std::optional<TesselLibrary::FileTime>& recorded) {
    if (digest.result != DigestResult::Computed) return judgeDigest(digest.result);
    if (sameDigest(stored, digest.digits)) return Verdict::Good;
    if (!recorded) return Verdict::Mismatch;
    return digest.modified > *recorded ? Verdict::Edited : Verdict::Damaged;
}

bool isMismatch(Verdict verdict) {
    return verdict == Verdict::Mismatch || verdict == Verdict::Edited || verdict == Verdict::Damaged;
}

std::uint32_t verdictMessage(Verdict verdict) {
    switch (verdict) {
        case Verdict::NotFound:
            return kFileNotFound;
        case Verdict::Unreadable:
            return kErrorComputingMd5;
        case Verdict::UnreadableFolder:
            return kUnableToReadFolder;
        case Verdict::UnwritableName:
            return kUnableToWrite;
        case Verdict::Good:
        case Verdict::Mismatch:
        case Verdict::Edited:
        case Verdict::Damaged:
            break;
    }
    return 0;
}

bool isReadFailure(Verdict verdict) {
    return verdict == Verdict::Unreadable || verdict == Verdict::UnreadableFolder;
}
