// What a check that looks for new files says at its end: which gone file
// moved where, as a table of changes; and the walk's order that lets it
// merge a summary with the folder as both go.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "changes.h"
#include "engine/walk_order.h"
#include "platform.h"
#include "summary_entries.h"
#include "text.h"

namespace {

Change Gone(const char* path, const char* digits) {
    Change change{Change::Kind::Gone, std::u16string(path, path + std::char_traits<char>::length(path)), {}, 0};
    std::copy(digits, digits + 32, change.digits);
    return change;
}

Change New(const char* path, const char* digits, std::uint64_t bytes = 1) {
    Change change = Gone(path, digits);
    change.kind = Change::Kind::New;
    change.bytes = bytes;
    return change;
}

constexpr const char* kA = "0CC175B9C0F1B6A831C399E269772661";
constexpr const char* kB = "92EB5FFEE6AE2FEC3AD71C777531578F";
constexpr const char* kLowerA = "0cc175b9c0f1b6a831c399e269772661";
constexpr const char* kEmpty = "D41D8CD98F00B204E9800998ECF8427E";

using Pairs = std::vector<std::optional<std::size_t>>;

TEST(Changes, AGoneFileIsMovedOnlyWhereNothingElseCouldBeMeant) {
    const struct {
        const char* what;
        std::vector<Change> changes;
        Pairs moves;
    } cases[] = {
        {"one gone, one new, the same bytes", {Gone("a", kA), New("b", kA)}, {1, 0}},
        {"the new one first", {New("b", kA), Gone("a", kA)}, {1, 0}},
        {"recorded in lower case", {Gone("a", kLowerA), New("b", kA)}, {1, 0}},
        {"other bytes", {Gone("a", kA), New("b", kB)}, {std::nullopt, std::nullopt}},
        {"two new with those bytes",
         {Gone("a", kA), New("b", kA), New("c", kA)},
         {std::nullopt, std::nullopt, std::nullopt}},
        {"two gone with those bytes",
         {Gone("a", kA), Gone("c", kA), New("b", kA)},
         {std::nullopt, std::nullopt, std::nullopt}},
        {"an empty file", {Gone("a", kEmpty), New("b", kEmpty, 0)}, {std::nullopt, std::nullopt}},
        {"two moves", {Gone("a", kA), Gone("b", kB), New("c", kB), New("d", kA)}, {3, 2, 1, 0}},
        {"gone alone", {Gone("a", kA)}, {std::nullopt}},
        // A file listed twice is one file gone.
        {"one gone file listed twice", {Gone("a", kA), Gone("a", kA), New("b", kA)}, {2, 2, 0}},
        {"listed twice, and another gone",
         {Gone("a", kA), Gone("c", kA), Gone("a", kA), New("b", kA)},
         {std::nullopt, std::nullopt, std::nullopt, std::nullopt}},
    };
    for (const auto& c : cases) EXPECT_EQ(pairMoves(c.changes), c.moves) << c.what;
}

TEST(WalkOrder, FilesBeforeSubfoldersDepthFirstInListingOrder) {
    const std::u16string root = TesselLibrary::kWindowsBuild ? u"C:\\d\\" : u"/d/";
    const std::u16string s = TesselLibrary::kWindowsBuild ? u"\\" : u"/";
    const WalkOrder order(root);
    // Each path comes before every one after it.
    const std::vector<std::u16string> walked = {
        u"/elsewhere/x",  // outside the root: first
        root + u"a.txt",
        root + u"B.txt",
        root + u"z",
        root + u"a" + s + u"x",
        root + u"a" + s + u"y" + s + u"1",
        root + u"b" + s + u"f",
        root + u"b" + s + u"g" + s + u"h",
    };
    for (std::size_t i = 0; i < walked.size(); ++i) {
        for (std::size_t j = 0; j < walked.size(); ++j) {
            EXPECT_EQ(order.before(walked[i], walked[j]), i < j) << i << " " << j;
        }
    }
    EXPECT_FALSE(order.before(u"/x/1", u"/x/0"));  // outside, both: as they come
}

// Entries of a list in memory, read from the first each time.
class ListedEntries final : public SummaryEntries {
public:
    explicit ListedEntries(const std::vector<SummaryEntry>& entries) : entries_(entries) {}
    bool next(SummaryEntry& entry) override {
        if (at_ == entries_.size()) return false;
        entry = entries_[at_++];
        return true;
    }
    bool whole() const override { return at_ == entries_.size(); }

private:
    const std::vector<SummaryEntry>& entries_;
    std::size_t at_ = 0;
};

// A list in another order comes out in the walk's order, ties in the list's,
// however little it may hold at once: in more passes.
TEST(SortedEntries, GivesTheWalksOrderWithinTheMemoryItMayHold) {
    const std::u16string root = TesselLibrary::kWindowsBuild ? u"C:\\d\\" : u"/d/";
    const std::u16string s = TesselLibrary::kWindowsBuild ? u"\\" : u"/";
    const WalkOrder order(root);
    std::vector<SummaryEntry> entries;
    for (int i = 0; i < 300; ++i) {
        SummaryEntry entry;
        entry.count = 33;
        const std::u16string n = TesselLibrary::FromSystemBytes(std::to_string(i % 100));
        entry.name = i % 3 == 0 ? root + u"f" + n : root + u"sub" + n + s + u"f";
        if (i % 7 == 0) entry.name = u" " + entry.name;  // md5sum's mark: ordered by the name after it
        if (i % 7 == 0) entry.otherReadings = {entry.name.substr(1)};
        entry.digest[0] = static_cast<char>(i);  // tells the ties apart
        entries.push_back(entry);
    }
    std::shuffle(entries.begin(), entries.end(), std::mt19937(7));
    std::vector<SummaryEntry> expected = entries;
    std::stable_sort(expected.begin(), expected.end(), [&](const SummaryEntry& a, const SummaryEntry& b) {
        return order.before(orderKey(a), orderKey(b));
    });
    for (const std::size_t heldBytes : {std::size_t{1}, std::size_t{4} << 10, SortedEntries::kHeldBytes}) {
        SCOPED_TRACE(heldBytes);
        SortedEntries sorted([&] { return std::make_unique<ListedEntries>(entries); }, order, heldBytes);
        std::vector<SummaryEntry> got;
        for (SummaryEntry entry; sorted.next(entry);) got.push_back(entry);
        ASSERT_EQ(got.size(), expected.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].name, expected[i].name) << i;
            EXPECT_EQ(got[i].digest[0], expected[i].digest[0]) << i;
        }
        EXPECT_TRUE(sorted.whole());
        if (heldBytes == 1) {
            EXPECT_EQ(sorted.passes(), entries.size());
        }
        if (heldBytes == SortedEntries::kHeldBytes) {
            EXPECT_EQ(sorted.passes(), 1u);
        }
        if (heldBytes == (std::size_t{4} << 10)) {
            EXPECT_GT(sorted.passes(), 2u);
        }
    }
    // A source that cannot be read again ends the entries, and says so.
    SortedEntries unreadable([] { return nullptr; }, order);
    SummaryEntry entry;
    EXPECT_FALSE(unreadable.next(entry));
    EXPECT_FALSE(unreadable.whole());
}

}  // namespace
