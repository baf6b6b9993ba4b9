// The judgement of one file of a folder job, as a pure function of what the
// job learnt of it. What the job then logs, counts and writes follows from
// the verdict alone, so no case can forget to fail the run.
#pragma once

#include <cstdint>
#include <optional>

#include "engine/digest_result.h"
#include "file_time.h"

struct BuildItem;

enum class Verdict {
    Good,              // recorded (build); the digest recorded for it (verify)
    Mismatch,          // verify: the file's bytes differ from those recorded (when, unknown)
    Edited,            // ... and it was written since the summary was
    Damaged,           // ... but its date says it was not: decay, a faulty disk or copy
    NotFound,          // no file at the path
    Unreadable,        // there, but it could not be read to its end
    UnreadableFolder,  // build: a folder that could not be opened or listed whole
    UnwritableName,    // build: a name a summary line cannot hold
};

// A file's digest alone: Good when it was made.
Verdict judgeDigest(DigestResult result);
// A file or folder of a build's walk, and the digest made of it (if any).
Verdict judgeBuildItem(const BuildItem& item, const FileDigest& digest);
// A summary entry with its recorded digits, and the digest made now.
// `recorded`: when the summary was written, a moment after each of its
// digests was taken; a file whose bytes differ tells an edit from damage by
// whether it was written after that. Unknown: a plain mismatch.
Verdict judgeEntry(const char (&stored)[32], const FileDigest& digest,
                   const std::optional<TesselLibrary::FileTime>& recorded = std::nullopt);
// What tells an edit from damage when a file's bytes differ from those
// recorded.
struct DateEvidence {
    // The entry's own record: the file's size and date as it was read.
    std::optional<FileAsRead> asRead;
    // Without one: when the summary was written (a moment after each of its
    // digests was taken), when known, and when this check began.
    std::optional<TesselLibrary::FileTime> summaryWritten;
    TesselLibrary::FileTime checkBegan;
    // The files lie where dates are kept to two seconds (FAT).
    bool twoSecondDates = false;
};
// With a record: the file's date equal to the recorded one, whatever it
// is, is damage; any other an edit. Without: written after the summary is
// an edit, before it damage; but a date later than the check's beginning is
// no evidence of either (a wrong clock): a plain mismatch.
Verdict judgeEntry(const char (&stored)[32], const FileDigest& digest, const DateEvidence& evidence);
// Two dates of a file are one at the precision both have: to 100
// nanoseconds, to the second when either has no fraction (a file system
// that keeps whole seconds), within two seconds where FAT keeps them.
bool sameFileDate(const TesselLibrary::FileTime& a, const TesselLibrary::FileTime& b, bool twoSecondDates);
// The file's bytes differ from those recorded, however that came about.
bool isMismatch(Verdict verdict);

// The string of a verdict's log line after the path; 0 for Good, and for a
// mismatch, whose line also shows both digests.
std::uint32_t verdictMessage(Verdict verdict);
// Something that is there could not be read: a build then keeps the old
// summary, which may hold the only record of its good digest.
bool isReadFailure(Verdict verdict);
