// A check in slices on a stand-in clock: where a run starts, when it stops
// and saves its place, what it says it covered; and the place's file.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "file_dates.h"
#include "slice.h"
#include "text.h"
#include "slice_place.h"

namespace {

using namespace std::chrono_literals;
using Time = std::chrono::steady_clock::time_point;

const TesselLibrary::TesselDateTime kDay{2026, 12, 1, 4, 31, 7};

SummaryEntry Entry(char digit, const std::u16string& name) {
    SummaryEntry entry;
    std::fill(std::begin(entry.digest), std::end(entry.digest), digit);
    entry.count = 33;
    entry.name = name;
    return entry;
}

// A slice over entries a..e whose clock stands where the test puts it.
struct StandIn {
    explicit StandIn(std::chrono::seconds budget)
        : slice(
              budget, [this] { return now; }, [] { return kDay; }) {}
    void Read(const std::u16string& last = u"/d/e") {
        for (const auto& name : {u"/d/a", u"/d/b", u"/d/c", u"/d/d"}) slice.noteEntry(Entry('0', name));
        slice.noteEntry(Entry('0', last));
    }
    Time now{};
    Slice slice;
};

TEST(Slice, StopsWhenItsTimeIsUpAndSavesItsPlaceAsItGoes) {
    StandIn s(3s);
    // Ten entries, more than the time lets through: a run stops at its time
    // or at a full round, whichever comes first.
    for (char16_t c = u'a'; c < u'a' + 10; ++c) s.slice.noteEntry(Entry('0', std::u16string(u"/d/") + c));
    s.slice.begin(std::nullopt, 10);
    EXPECT_EQ(s.slice.first(), 0u);
    // Each entry takes 400 ms: a save at the first entry a second or more
    // after the start, then a second after that.
    std::vector<std::uint64_t> savedAt;
    bool more = true;
    std::uint64_t checked = 0;
    while (more) {
        s.now += 400ms;
        more = s.slice.judged(checked + 1);
        ++checked;
        if (s.slice.saveDue()) savedAt.push_back(s.slice.place().next);
    }
    EXPECT_EQ(checked, 8u);  // 3.2 s: the one that crossed the time is the last
    EXPECT_EQ(savedAt, (std::vector<std::uint64_t>{3, 6}));
    s.now += 2s;
    EXPECT_TRUE(s.slice.saveDue());   // the last two entries
    EXPECT_FALSE(s.slice.saveDue());  // nothing moved since
    const SlicePlace place = s.slice.place();
    EXPECT_EQ(place.next, 8u);
    EXPECT_EQ(place.entries, 10u);
    EXPECT_FALSE(place.lastFullRound);  // no round was made
    const SliceCoverage coverage = s.slice.coverage();
    EXPECT_EQ(coverage.checked, 8u);
    EXPECT_EQ(coverage.lines, (std::vector<std::pair<std::uint64_t, std::uint64_t>>{{1, 8}}));
}

TEST(Slice, GoesOnFromTheSavedPlaceOfTheSameSummaryOnly) {
    StandIn first(1h);
    first.Read();
    first.slice.begin(std::nullopt, 5);
    first.slice.judged(1);
    first.slice.judged(2);
    const SlicePlace saved = first.slice.place();
    EXPECT_EQ(saved.next, 2u);
    EXPECT_FALSE(saved.lastFullRound);

    // The same entries: on from entry 2, round past the last to where it began.
    StandIn again(1h);
    again.Read();
    again.slice.begin(saved, 5);
    EXPECT_EQ(again.slice.first(), 2u);
    for (std::uint64_t line : {3, 4, 5, 1, 2}) EXPECT_TRUE(again.slice.judged(line));
    EXPECT_EQ(again.slice.place().next, 2u);
    EXPECT_TRUE(again.slice.place().lastFullRound);
    EXPECT_EQ(again.slice.coverage().lines, (std::vector<std::pair<std::uint64_t, std::uint64_t>>{{3, 5}, {1, 2}}));

    // Another summary (an entry renamed, or one more) starts from its first
    // entry, with no full round made of it.
    SlicePlace round = saved;
    round.lastFullRound = kDay;
    StandIn edited(1h);
    edited.Read(u"/d/E");
    edited.slice.begin(round, 5);
    EXPECT_EQ(edited.slice.first(), 0u);
    EXPECT_FALSE(edited.slice.place().lastFullRound);
    StandIn longer(1h);
    longer.Read();
    longer.slice.begin(round, 6);
    EXPECT_EQ(longer.slice.first(), 0u);
}

TEST(SlicePlace, ReadsBackWhatItWritesAndNothingElse) {
    SlicePlace place;
    place.entries = 1000000;
    place.fingerprint = 0x0123456789ABCDEFull;
    place.next = 400000;
    place.lastFullRound = kDay;
    const std::string text = formatSlicePlace(place);
    EXPECT_EQ(text,
              "Sumvane: where the check in slices goes on\r\nentries 1000000\r\nfingerprint 0123456789ABCDEF\r\n"
              "next 400001\r\nlast full round 2026-12-01 04:31:07\r\n");
    EXPECT_EQ(parseSlicePlace(text), place);
    // Saved by an editor with its lines ending in LF alone, it still reads.
    std::string edited = text;
    for (std::size_t at; (at = edited.find("\r\n")) != std::string::npos;) edited.erase(at, 1);
    EXPECT_EQ(parseSlicePlace(edited), place);
    place.lastFullRound.reset();
    EXPECT_EQ(parseSlicePlace(formatSlicePlace(place)), place);

    const std::string bad[] = {
        "",
        "entries 5\r\n",
        "Sumvane: where the check in slices goes on\r\nentries 5\r\nfingerprint 0123456789ABCDEF\r\nnext 6\r\n"
        "last full round none\r\n",  // past the last entry
        "Sumvane: where the check in slices goes on\r\nentries 5\r\nfingerprint 0123456789ABCDEF\r\nnext 0\r\n"
        "last full round none\r\n",
        "Sumvane: where the check in slices goes on\r\nentries 5\r\nfingerprint 12345\r\nnext 1\r\n"
        "last full round none\r\n",
        "Sumvane: where the check in slices goes on\r\nentries 5\r\nfingerprint 0123456789ABCDEF\r\nnext 1\r\n"
        "last full round yesterday\r\n",
    };
    for (const std::string& text : bad) EXPECT_FALSE(parseSlicePlace(text)) << text;
}

// Each file's record of how it was read: its bytes, the same on every
// system, read back only beside the summary it was written with.
TEST(FileDates, ReadsBackBesideItsOwnSummaryOnly) {
    using TesselLibrary::FileTime;
    namespace fs = std::filesystem;
    std::string entry;
    appendFileDate(entry, FileAsRead{0x0102, FileTime{1, 2'345'600}});
    EXPECT_EQ(entry, std::string("\x02\x01\x00\x00\x00\x00\x00\x00\x20\xF2\x98\x00\x00\x00\x00\x00", 16));
    EXPECT_EQ(readFileDate(reinterpret_cast<const std::uint8_t*>(entry.data())),
              (FileAsRead{0x0102, FileTime{1, 2'345'600}}));
    const fs::path folder = fs::temp_directory_path() / "sumvane-file-dates-test";
    fs::remove_all(folder);
    fs::create_directories(folder);
    const std::u16string summary = TesselLibrary::FromSystemBytes((folder / "Sumvane.md5").string());
    const std::vector<std::optional<FileAsRead>> states = {
        FileAsRead{5, FileTime{1'700'000'000, 123'456'700}},
        std::nullopt,
        FileAsRead{0, FileTime{-86'400, 900'000'000}},  // before 1970
        FileAsRead{7, FileTime{1'950'000'000, 0}},
    };
    const auto write = [&](std::size_t count, char digit) {
        FileDatesWriter dates(fileDatesBeside(nullptr, u"Sumvane.md5", summary));
        LinesFingerprint print;
        for (std::size_t i = 0; i < count; ++i) {
            const SummaryEntry line = Entry(digit, u"/d/" + std::u16string(1, static_cast<char16_t>(u'a' + i)));
            dates.add(line.digest, line.name, states[i % states.size()]);
            print.add(line.digest, line.name);
        }
        EXPECT_TRUE(dates.commit());
        return print.value();
    };
    const std::uint64_t print = write(4, '0');
    EXPECT_EQ(fs::file_size(folder / "Sumvane.md5.dates"), 4 * 16 + 24u);
    // Every reader is closed before the folder goes: on Windows an open
    // file keeps it.
    [&] {
        FileDatesReader dates(fileDatesBeside(nullptr, u"Sumvane.md5", summary));
        ASSERT_TRUE(dates.tie(4, print));
        for (int round = 0; round < 2; ++round) {
            for (const auto& state : states) EXPECT_EQ(dates.next(), state) << round;
            EXPECT_FALSE(dates.next());
            EXPECT_TRUE(dates.restart());
        }
        // Of another summary, or cut short: no record at all.
        EXPECT_FALSE(dates.tie(4, print + 1));
        EXPECT_FALSE(dates.tie(3, print));
        EXPECT_FALSE(dates.next());
        std::string bytes;
        {
            std::ifstream in(folder / "Sumvane.md5.dates", std::ios::binary);
            bytes.assign(std::istreambuf_iterator<char>(in), {});
        }
        for (const std::size_t cut : {std::size_t{0}, std::size_t{20}, bytes.size() - 1}) {
            std::ofstream(folder / "Sumvane.md5.dates", std::ios::binary | std::ios::trunc)
                .write(bytes.data(), static_cast<std::streamsize>(cut));
            EXPECT_FALSE(dates.tie(4, print)) << cut;
            EXPECT_FALSE(dates.next()) << cut;
        }
        // Longer than one piece of reading, and replaced whole (on Windows a
        // record that is still open for reading cannot be replaced).
        dates.close();
        const std::uint64_t many = write(10'000, '1');
        FileDatesReader again(fileDatesBeside(nullptr, u"Sumvane.md5", summary));
        ASSERT_TRUE(again.tie(10'000, many));
        std::size_t read = 0;
        for (; read < 10'000; ++read) ASSERT_EQ(again.next(), states[read % states.size()]) << read;
        EXPECT_FALSE(again.next());
        again.close();
    }();
    fs::remove_all(folder);
}

}  // namespace
