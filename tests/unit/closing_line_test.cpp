// The last line of a run: its problems, what a clean run did, or an interrupt.
#include <gtest/gtest.h>

#include "closing_line.h"
#include "console.h"
#include "platform.h"
#include "text.h"

namespace {

TEST(ClosingLine, CountsTheProblemsAndNamesTheLog) {
    const struct Case {
        RunCounts tally;
        std::size_t notInLog;
        std::u16string logPath, expected;
    } cases[] = {
        {{3, 0}, 0, u"/home/ann/Desktop/srvdata.txt", u": 3 problems; log: /home/ann/Desktop/srvdata.txt"},
        {{1, 0}, 0, u"/var/log/a.txt", u": 1 problem; log: /var/log/a.txt"},
        {{1, 0},
         1,
         u"/home/ann/Desktop/Photos.txt",
         u": 1 problem; log: /home/ann/Desktop/Photos.txt (not written there)"},
        {{5, 0}, 2, u"/x/y.txt", u": 5 problems; log: /x/y.txt (2 not written there)"},
        {{2, 0}, 0, u"/x/line\nbreak.txt", u": 2 problems; log: /x/line\\nbreak.txt"},  // stays one line
        // News alone is no problem; a lost line of news is still a lost line.
        {{0, 2}, 0, u"/x/y.txt", u": no problem; log: /x/y.txt"},
        // The kinds of problems, and the new files among the news.
        {{3, 1, 1, {.damaged = 1, .edited = 1, .moved = 1}},
         0,
         u"/x/y.txt",
         u": 3 problems (1 damaged, 1 edited, 1 moved), 1 new file; log: /x/y.txt"},
        {{2, 0, 0, {.damaged = 2}}, 0, u"/x/y.txt", u": 2 problems (2 damaged); log: /x/y.txt"},
        // Files unreadable and missing are named; the other kinds are counted, not named.
        {{4, 0, 0, {.edited = 1, .missing = 3}}, 0, u"/x/y.txt", u": 4 problems (1 edited, 3 missing); log: /x/y.txt"},
        {{6, 0, 0, {.missing = 3, .unreadable = 1, .invalidLines = 2}},
         0,
         u"/x/y.txt",
         u": 6 problems (1 unreadable, 3 missing); log: /x/y.txt"},
        {{4, 0, 0, {.invalidLines = 2, .unwritable = 1, .moved = 1}},
         0,
         u"/x/y.txt",
         u": 4 problems (1 moved); log: /x/y.txt"},
        {{0, 1200, 1200}, 0, u"/x/y.txt", u": no problem, 1,200 new files; log: /x/y.txt"},
        // What a copy healed (-b), and what it could not.
        {{3, 0, 0, {.damaged = 2, .missing = 1}, 3, 0},
         0,
         u"/x/y.txt",
         u": 3 problems (2 damaged, 1 missing), 3 repaired; log: /x/y.txt"},
        {{3, 4, 1, {.damaged = 2}, 2, 1},
         0,
         u"/x/y.txt",
         u": 3 problems (2 damaged), 2 repaired, 1 not repaired, 1 new file; log: /x/y.txt"},
        {{1, 1, 0, {.damaged = 1}, 0, 1}, 0, u"/x/y.txt", u": 1 problem (1 damaged), 1 not repaired; log: /x/y.txt"},
        // Every count grouped, as the counts of a clean run are.
        {{1234, 0, 0, {.damaged = 1000, .edited = 234}},
         1001,
         u"/x/y.txt",
         u": 1,234 problems (1,000 damaged, 234 edited); log: /x/y.txt (1,001 not written there)"},
        {{1, 1}, 1, u"/x/y.txt", u": 1 problem; log: /x/y.txt (1 not written there)"},
        {{1, 1}, 2, u"/x/y.txt", u": 1 problem; log: /x/y.txt (not written there)"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TesselLibrary::StandardErrorLine(closingLine(c.tally, c.notInLog, c.logPath)),
                  TesselLibrary::kExecutableName + c.expected);
    }
}

TEST(ClosingLine, SaysWhatACleanRunDid) {
    const JobResult none{0, false}, one{1, true}, many{154040, true}, fewer{154039, true};
    JobResult sliced{12345, false};
    sliced.slice =
        SliceCoverage{12345, 1000000, {{400001, 412345}}, TesselLibrary::TesselDateTime{2026, 12, 1, 4, 30, 0}};
    const struct Case {
        CleanRun run;
        std::u16string expected;  // after "sumvane"; empty: no line
    } cases[] = {
        {{{}, false, false, u"/srv/data/Sumvane.md5", many, {}}, u": 154,040 files recorded in /srv/data/Sumvane.md5"},
        {{{}, false, false, u"/srv/data/Sumvane.md5", {}, many}, u": 154,040 files checked, no problem"},
        {{{}, false, false, u"d/Sumvane.md5", one, one}, u": 1 file recorded in d/Sumvane.md5 and checked, no problem"},
        {{{}, false, false, u"d/Sumvane.md5", many, fewer},
         u": 154,040 files recorded in d/Sumvane.md5; 154,039 files checked, no problem"},
        {{{}, false, false, u"d/Sumvane.md5", none, {}}, u": no file recorded, d/Sumvane.md5 left as it was"},
        {{{}, false, false, u"d/Sumvane.md5", JobResult{999, true}, {}}, u": 999 files recorded in d/Sumvane.md5"},
        {{{}, false, false, u"d/Sumvane.md5", JobResult{1000, true}, {}}, u": 1,000 files recorded in d/Sumvane.md5"},
        {{u"/srv/disk.img", true, false, {}, {}, {}}, u": /srv/disk.img recorded in /srv/disk.img.md5"},
        {{u"/srv/disk.img", false, true, {}, {}, {}}, u": /srv/disk.img checked, no problem"},
        {{u"a.img", true, true, {}, {}, {}}, u": a.img recorded in a.img.md5 and checked, no problem"},
        {{u"a.img", false, true, u"d/Sumvane.md5", {}, many},
         u": a.img checked, no problem; 154,040 files checked, no problem"},
        {{u"line\nbreak", false, true, {}, {}, {}}, u": line\\nbreak checked, no problem"},  // stays one line
        // A check in slices says what it covered.
        {{{}, false, false, u"d/Sumvane.md5", {}, sliced},
         u": checked 12,345 of 1,000,000 files (lines 400,001-412,345), no problem; last full round finished 2026-12-01"},
        {{{}, false, false, u"d/Sumvane.md5", many, sliced},
         u": 154,040 files recorded in d/Sumvane.md5; checked 12,345 of 1,000,000 files (lines 400,001-412,345), no "
         u"problem; last full round finished 2026-12-01"},
        // A single file only digested (the clipboard action) recorded and checked nothing.
        {{u"a.img", false, false, {}, {}, {}}, u""},
        {{}, u""},
    };
    for (const Case& c : cases) {
        const std::u16string expected = c.expected.empty() ? u"" : TesselLibrary::kExecutableName + c.expected;
        const std::u16string said = cleanClosingLine(c.run);
        EXPECT_EQ(said.empty() ? said : TesselLibrary::StandardErrorLine(said), expected)
            << TesselLibrary::ToSystemBytes(c.expected);
    }
}

// Round past the last entry, one entry alone, and no full round yet.
TEST(ClosingLine, SaysWhatASliceCovered) {
    EXPECT_EQ(sliceCoverageText(SliceCoverage{7, 10, {{8, 10}, {1, 4}}, std::nullopt}),
              u"checked 7 of 10 files (lines 8-10, 1-4); no full round yet");
    EXPECT_EQ(sliceCoverageText(SliceCoverage{1, 1, {{3, 3}}, TesselLibrary::TesselDateTime{2027, 1, 9, 0, 0, 0}}),
              u"checked 1 of 1 file (line 3); last full round finished 2027-01-09");
}

}  // namespace
