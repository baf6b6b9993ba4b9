// The judgement of one file of each job, as a table: what came back from
// the digest (and the walk) against the verdict, its log message and whether
// a build keeps the old summary for it.
#include <gtest/gtest.h>

#include <cstring>
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
