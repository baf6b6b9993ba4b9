#include "verdict.h"

#include "engine/tree_walk.h"
#include "file_dates.h"
#include "string_ids.h"
#include "summary_format.h"

using namespace TesselLibrary;

Verdict judgeDigest(DigestResult result) {
    switch (result) {
        case DigestResult::Computed: return Verdict::Good;
        case DigestResult::NotFound: return Verdict::NotFound;
        case DigestResult::Unreadable: break;
    }
    return Verdict::Unreadable;
}

Verdict judgeBuildItem(const BuildItem& item, const FileDigest& digest) {
    switch (item.kind) {
        case BuildItem::Kind::UnreadableFolder: return Verdict::UnreadableFolder;
        case BuildItem::Kind::UnwritableName: return Verdict::UnwritableName;
        case BuildItem::Kind::File: break;
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

bool sameFileDate(const FileTime& a, const FileTime& b, bool twoSecondDates) {
    const FileTime x = asRecorded(a);
    const FileTime y = asRecorded(b);
    if (twoSecondDates) {
        const std::int64_t apart = (x.seconds - y.seconds) * 1000000000 + (static_cast<std::int64_t>(x.nanoseconds) -
                                                                           static_cast<std::int64_t>(y.nanoseconds));
        return apart > -2000000000 && apart < 2000000000;
    }
    if (x.nanoseconds == 0 || y.nanoseconds == 0) return x.seconds == y.seconds;
    return x == y;
}

Verdict judgeEntry(const char (&stored)[32], const FileDigest& digest, const DateEvidence& evidence) {
    if (digest.result != DigestResult::Computed) return judgeDigest(digest.result);
    if (sameDigest(stored, digest.digits)) return Verdict::Good;
    if (evidence.asRead) {
        return sameFileDate(digest.modified, evidence.asRead->modified, evidence.twoSecondDates) ? Verdict::Damaged
                                                                                                 : Verdict::Edited;
    }
    if (digest.modified > evidence.checkBegan) return Verdict::Mismatch;
    return judgeEntry(stored, digest, evidence.summaryWritten);
}

bool isMismatch(Verdict verdict) {
    return verdict == Verdict::Mismatch || verdict == Verdict::Edited || verdict == Verdict::Damaged;
}

std::uint32_t verdictMessage(Verdict verdict) {
    switch (verdict) {
        case Verdict::NotFound: return kFileNotFound;
        case Verdict::Unreadable: return kErrorComputingMd5;
        case Verdict::UnreadableFolder: return kUnableToReadFolder;
        case Verdict::UnwritableName: return kUnableToWrite;
        case Verdict::Good:
        case Verdict::Mismatch:
        case Verdict::Edited:
        case Verdict::Damaged: break;
    }
    return 0;
}

bool isReadFailure(Verdict verdict) { return verdict == Verdict::Unreadable || verdict == Verdict::UnreadableFolder; }
