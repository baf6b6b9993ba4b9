// The judgement of one file of each job, as a table: what came back from
// the digest (and the walk) against the verdict, its log message and whether
// a build keeps the old summary for it.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>

#include "engine/tree_walk.h"
#include "string_ids.h"
#include "verdict.h"

namespace {

constexpr char kStored[] = "0CC175B9C0F1B6A831C399E269772661";  // MD5 of "a"

FileDigest Digest(DigestResult result, const char* digits = kStored) {
    FileDigest digest;
    digest.result = result;
    std::memcpy(digest.digits, digits, 32);
    return digest;
}

struct EntryCase {
    const char* what;
    FileDigest digest;
    Verdict verdict;
};

TEST(Verdict, OfASummaryEntry) {
    char stored[32];
    std::memcpy(stored, kStored, 32);
    const EntryCase cases[] = {
        {"the recorded digest", Digest(DigestResult::Computed), Verdict::Good},
        {"other bytes", Digest(DigestResult::Computed, "92EB5FFEE6AE2FEC3AD71C777531578F"), Verdict::Mismatch},
        {"one digit off", Digest(DigestResult::Computed, "0CC175B9C0F1B6A831C399E269772662"), Verdict::Mismatch},
        {"no file", Digest(DigestResult::NotFound), Verdict::NotFound},
        // Digits left over from a failed read must not pass for a match.
        {"there, not readable", Digest(DigestResult::Unreadable), Verdict::Unreadable},
    };
    for (const EntryCase& c : cases) EXPECT_EQ(judgeEntry(stored, c.digest), c.verdict) << c.what;

    // With the moment the summary was written, a mismatch tells an edit
    // (written since) from damage (bytes changed, date not).
    const TesselLibrary::FileTime summary{1'700'000'000, 500};
    const struct {
        TesselLibrary::FileTime modified;
        Verdict verdict;
    } dated[] = {
        {{1'700'000'000, 501}, Verdict::Edited},
        {{1'700'000'100, 0}, Verdict::Edited},
        {{1'700'000'000, 500}, Verdict::Damaged},  // the same moment is no later
        {{1'600'000'000, 0}, Verdict::Damaged},
    };
    for (const auto& d : dated) {
        FileDigest other = Digest(DigestResult::Computed, "92EB5FFEE6AE2FEC3AD71C777531578F");
        other.modified = d.modified;
        EXPECT_EQ(judgeEntry(stored, other, summary), d.verdict) << d.modified.seconds;
        EXPECT_TRUE(isMismatch(d.verdict));
        FileDigest same = Digest(DigestResult::Computed);
        same.modified = d.modified;
        EXPECT_EQ(judgeEntry(stored, same, summary), Verdict::Good);  // a date alone is no problem
    }
    // Lower-case digits in a summary say the same.
    std::memcpy(stored, "0cc175b9c0f1b6a831c399e269772661", 32);
    EXPECT_EQ(judgeEntry(stored, Digest(DigestResult::Computed)), Verdict::Good);
}

// A mismatch judged from the entry's own record, or without one from the
// summary's date and the check's beginning.
TEST(Verdict, OfAMismatchFromTheDates) {
    using TesselLibrary::FileTime;
    char stored[32];
    std::memcpy(stored, kStored, 32);
    const FileTime read{1'700'000'000, 123'456'700};
    const FileTime summary{1'700'000'500, 0};
    const FileTime began{1'700'001'000, 0};
    const struct {
        const char* what;
        std::optional<FileTime> recorded;  // the entry's record; none: without one
        FileTime now;                      // the file's date at this check
        bool twoSeconds;
        Verdict verdict;
    } cases[] = {
        {"recorded date, past", read, read, false, Verdict::Damaged},
        {"recorded date, in the future", FileTime{1'950'000'000, 5'000'000}, FileTime{1'950'000'000, 5'000'000}, false,
         Verdict::Damaged},
        {"recorded date, before the summary's", read, FileTime{1'600'000'000, 0}, false, Verdict::Edited},
        {"a later date, though older than the summary", read, FileTime{1'700'000'001, 0}, false, Verdict::Edited},
        {"100 ns later", read, FileTime{1'700'000'000, 123'456'800}, false, Verdict::Edited},
        {"within the same 100 ns", read, FileTime{1'700'000'000, 123'456'799}, false, Verdict::Damaged},
        {"whole seconds now", read, FileTime{1'700'000'000, 0}, false, Verdict::Damaged},
        {"whole seconds now, one later", read, FileTime{1'700'000'001, 0}, false, Verdict::Edited},
        {"whole seconds recorded", FileTime{1'700'000'000, 0}, read, false, Verdict::Damaged},
        {"FAT: rounded up", FileTime{1'700'000'001, 400'000'000}, FileTime{1'700'000'002, 0}, true, Verdict::Damaged},
        {"FAT: rounded down", FileTime{1'700'000'001, 900'000'000}, FileTime{1'700'000'000, 0}, true, Verdict::Damaged},
        {"FAT: two seconds later", FileTime{1'700'000'000, 0}, FileTime{1'700'000'002, 0}, true, Verdict::Edited},
        {"without: before the summary", std::nullopt, FileTime{1'700'000'000, 0}, false, Verdict::Damaged},
        {"without: after the summary", std::nullopt, FileTime{1'700'000'600, 0}, false, Verdict::Edited},
        {"without: after the check began", std::nullopt, FileTime{1'700'002'000, 0}, false, Verdict::Mismatch},
    };
    for (const auto& c : cases) {
        FileDigest other = Digest(DigestResult::Computed, "92EB5FFEE6AE2FEC3AD71C777531578F");
        other.modified = c.now;
        DateEvidence evidence;
        if (c.recorded) evidence.asRead = FileAsRead{1, *c.recorded};
        evidence.summaryWritten = summary;
        evidence.checkBegan = began;
        evidence.twoSecondDates = c.twoSeconds;
        EXPECT_EQ(judgeEntry(stored, other, evidence), c.verdict) << c.what;
        FileDigest same = Digest(DigestResult::Computed);
        same.modified = c.now;
        EXPECT_EQ(judgeEntry(stored, same, evidence), Verdict::Good) << c.what;
    }
    // Without a record or the summary's date, nothing tells.
    FileDigest other = Digest(DigestResult::Computed, "92EB5FFEE6AE2FEC3AD71C777531578F");
    other.modified = read;
    DateEvidence none;
    none.checkBegan = began;
    EXPECT_EQ(judgeEntry(stored, other, none), Verdict::Mismatch);
    EXPECT_EQ(judgeEntry(stored, Digest(DigestResult::NotFound), none), Verdict::NotFound);
}

struct BuildCase {
    BuildItem::Kind kind;
    DigestResult result;
    Verdict verdict;
    std::uint32_t message;
    bool readFailure;
};

TEST(Verdict, OfABuildItemWithItsMessage) {
    const BuildCase cases[] = {
        {BuildItem::Kind::File, DigestResult::Computed, Verdict::Good, 0, false},
        {BuildItem::Kind::File, DigestResult::NotFound, Verdict::NotFound, kFileNotFound, false},
        {BuildItem::Kind::File, DigestResult::Unreadable, Verdict::Unreadable, kErrorComputingMd5, true},
        {BuildItem::Kind::UnreadableFolder, DigestResult::Unreadable, Verdict::UnreadableFolder, kUnableToReadFolder,
         true},
        // Never hashed, whatever its digest says.
        {BuildItem::Kind::UnwritableName, DigestResult::Computed, Verdict::UnwritableName, kUnableToWrite, false},
    };
    for (const BuildCase& c : cases) {
        BuildItem item;
        item.kind = c.kind;
        const Verdict verdict = judgeBuildItem(item, Digest(c.result));
        EXPECT_EQ(verdict, c.verdict) << static_cast<int>(c.kind);
        EXPECT_EQ(verdictMessage(verdict), c.message) << static_cast<int>(c.kind);
        EXPECT_EQ(isReadFailure(verdict), c.readFailure) << static_cast<int>(c.kind);
    }
    EXPECT_EQ(verdictMessage(Verdict::Mismatch), 0u);  // its line is its own
}

}  // namespace
