// Where a summary's entries are checked: the folder they were recorded under
// decided once from the summary's start and what exists below the folder
// checked, then applied to every name.
#include <gtest/gtest.h>

#include <set>

#include "own_files.h"
#include "platform.h"
#include "relocation.h"
#include "text.h"

namespace {

using Names = std::vector<std::u16string>;

SummaryEntry Entry(const std::u16string& name) {
    SummaryEntry entry;
    entry.count = 33;
    entry.name = name;
    return entry;
}

// POSIX paths; on Windows the same with "\" and a drive letter.
std::u16string P(std::u16string path) {
    if (!TesselLibrary::kWindowsBuild) return path;
    for (char16_t& c : path) c = c == u'/' ? u'\\' : c;
    return path.empty() || path[0] != u'\\' ? path : u"D:" + path;
}

struct Case {
    const char* name;
    Names entries;
    Names existing;  // below F = /mnt/backup/photos/
    RelocationDecision::Kind kind;
    std::u16string recordedUnder;
    Names candidates;
    std::u16string sameFolder;  // a folder that is F under another spelling ("." the current folder)
};

// The folder a case names as it reaches the finder: "." is the current
// folder, which the finder spells "".
std::u16string Spelled(const std::u16string& folder) { return folder == u"." ? u"" : P(folder); }

TEST(RelocationFinder, DecidesOnceFromTheEntriesAndTheFolder) {
    using Kind = RelocationDecision::Kind;
    const Case cases[] = {
        {"recorded under F", {u"/mnt/backup/photos/a.jpg"}, {u"a.jpg"}, Kind::AsWritten, u"", {}, u""},
        {"a copy",
         {u"/srv/photos/a.jpg", u"/srv/photos/sub/b.jpg"},
         {u"a.jpg", u"sub/b.jpg"},
         Kind::Moved,
         u"/srv/photos/",
         {},
         u""},
        {"a copy missing some files",
         {u"/srv/photos/a.jpg", u"/srv/photos/b.jpg"},
         {u"b.jpg"},
         Kind::Moved,
         u"/srv/photos/",
         {},
         u""},
        // The entries' common folder is deeper than the one recorded.
        {"every file in one subfolder",
         {u"/srv/photos/2024/a.jpg", u"/srv/photos/2024/b.jpg"},
         {u"2024/a.jpg", u"2024/b.jpg"},
         Kind::Moved,
         u"/srv/photos/",
         {},
         u""},
        // An entry outside the recorded folder does not move the decision.
        {"an entry outside",
         {u"/etc/hosts", u"/srv/photos/a.jpg", u"/srv/photos/b.jpg"},
         {u"a.jpg", u"b.jpg"},
         Kind::Moved,
         u"/srv/photos/",
         {},
         u""},
        // Nothing below F answers: a list of files kept elsewhere.
        {"nothing answers", {u"/etc/hosts", u"/etc/passwd"}, {u"a.jpg"}, Kind::AsWritten, u"", {}, u""},
        // Relative names are looked for below F too: a copy of a folder
        // recorded as "-fphotos".
        {"relative names", {u"photos/a.jpg", u"photos/b.jpg"}, {u"a.jpg"}, Kind::Moved, u"photos/", {}, u""},
        // Found as well from the current folder as from a folder on their
        // paths: taken as written, from the current folder (F there, or not).
        {"relative names of F",
         {u"2024/a.jpg", u"b.jpg"},
         {u"2024/a.jpg", u"a.jpg", u"b.jpg"},
         Kind::AsWritten,
         u"",
         {},
         u"."},
        {"relative names of F, from elsewhere",
         {u"2024/a.jpg", u"b.jpg"},
         {u"2024/a.jpg", u"a.jpg", u"b.jpg"},
         Kind::Moved,
         u".",
         {},
         u""},
        // Relative names beside whole paths are found from the current
        // folder, whatever answers below F.
        {"relative names beside whole paths",
         {u"/mnt/backup/photos/a.jpg", u"b.jpg", u"photos/c.jpg"},
         {u"a.jpg", u"b.jpg", u"c.jpg"},
         Kind::AsWritten,
         u"",
         {},
         u""},
        // md5sum's mark before a relative name: the name after it decides.
        {"md5sum's relative names",
         {u" photos/a.jpg", u"*photos/b.jpg"},
         {u"a.jpg", u"b.jpg"},
         Kind::Moved,
         u"photos/",
         {},
         u""},
        // Mixed summaries: entries below F found where they are written
        // answer for F, which wins whenever it answers as well as another.
        {"own entries and a hand line",
         {u"/mnt/backup/photos/a.jpg", u"/mnt/backup/photos/index.html", u"/srv/extra/index.html"},
         {u"a.jpg", u"index.html"},
         Kind::AsWritten,
         u"",
         {},
         u""},
        {"a hand line first",
         {u"/srv/extra/index.html", u"/mnt/backup/photos/index.html", u"/mnt/backup/photos/a.jpg"},
         {u"a.jpg", u"index.html"},
         Kind::AsWritten,
         u"",
         {},
         u""},
        {"one own entry and one hand line: a tie",
         {u"/mnt/backup/photos/index.html", u"/srv/extra/index.html"},
         {u"index.html"},
         Kind::AsWritten,
         u"",
         {},
         u""},
        {"own entries gone but one",
         {u"/mnt/backup/photos/a.jpg", u"/mnt/backup/photos/b.jpg", u"/srv/photos/c.jpg", u"/srv/photos/d.jpg"},
         {u"a.jpg", u"c.jpg", u"d.jpg"},
         Kind::Moved,
         u"/srv/photos/",
         {},
         u""},
        {"a copy with a few lines below F",
         {u"/srv/photos/a.jpg", u"/srv/photos/b.jpg", u"/mnt/backup/photos/new.jpg", u"/srv/photos/c.jpg"},
         {u"a.jpg", u"b.jpg", u"c.jpg", u"new.jpg"},
         Kind::Moved,
         u"/srv/photos/",
         {},
         u""},
        {"a copy and as many own lines: a tie",
         {u"/srv/photos/a.jpg", u"/mnt/backup/photos/b.jpg"},
         {u"a.jpg", u"b.jpg"},
         Kind::AsWritten,
         u"",
         {},
         u""},
        // Two folders answer equally well: no guess.
        {"undecided",
         {u"/srv/photos/a.jpg"},
         {u"a.jpg", u"photos/a.jpg"},
         Kind::Undecided,
         u"",
         {u"/srv/photos/", u"/srv/"},
         u""},
        // F reached through a link: the same folder, nothing moved.
        {"the same folder", {u"/srv/photos/a.jpg"}, {u"a.jpg"}, Kind::AsWritten, u"", {}, u"/srv/photos/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RelocationFinder finder(P(u"/mnt/backup/photos/"));
        for (const std::u16string& name : c.entries) finder.consider(Entry(P(name)));
        std::set<std::u16string> existing;
        for (const std::u16string& name : c.existing) existing.insert(P(u"/mnt/backup/photos/" + name));
        Names asked;
        const RelocationDecision decision = finder.decide(
            [&](const std::u16string& path) {
                asked.push_back(path);
                return existing.count(path) != 0;
            },
            [&](const std::u16string& folder) { return !c.sameFolder.empty() && folder == Spelled(c.sameFolder); });
        EXPECT_EQ(decision.kind, c.kind);
        EXPECT_EQ(decision.recordedUnder, c.recordedUnder.empty() ? u"" : Spelled(c.recordedUnder));
        Names candidates;
        for (const std::u16string& folder : c.candidates) candidates.push_back(P(folder));
        EXPECT_EQ(decision.candidates, candidates);
        EXPECT_EQ(decision.relocation.active(), c.kind == Kind::Moved);
        EXPECT_EQ(decision.spelledAs, c.sameFolder.empty() ? std::nullopt : std::optional(Spelled(c.sameFolder)));
        // Nothing outside F is ever looked at.
        for (const std::u16string& path : asked) EXPECT_EQ(path.rfind(P(u"/mnt/backup/photos/"), 0), 0u);
    }
}

TEST(Relocation, MovesTheNamesBelowTheRecordedFolderOnly) {
    const Relocation moved(P(u"/srv/photos/"), P(u"/mnt/backup/photos/"));
    EXPECT_EQ(moved.apply(P(u"/srv/photos/sub/a.jpg")), P(u"/mnt/backup/photos/sub/a.jpg"));
    EXPECT_EQ(moved.apply(P(u"/srv/photos-old/a.jpg")), P(u"/srv/photos-old/a.jpg"));
    EXPECT_EQ(moved.apply(P(u"/etc/hosts")), P(u"/etc/hosts"));
    EXPECT_EQ(moved.apply(u"photos/a.jpg"), u"photos/a.jpg");
    // Recorded under the current folder: its relative names move, whole paths stay.
    const Relocation fromCurrent(u"", P(u"/mnt/backup/photos/"));
    EXPECT_TRUE(fromCurrent.active());
    EXPECT_EQ(fromCurrent.apply(P(u"2024/a.jpg")), P(u"/mnt/backup/photos/2024/a.jpg"));
    EXPECT_EQ(fromCurrent.apply(P(u"/etc/hosts")), P(u"/etc/hosts"));
    // md5sum's line for a name below R moves as the name does.
    const Relocation relative(P(u"photos/"), P(u"/mnt/backup/photos/"));
    EXPECT_EQ(relative.apply(P(u" photos/sub/a.jpg")), P(u"/mnt/backup/photos/sub/a.jpg"));
    EXPECT_EQ(relative.apply(P(u"*photos/a.jpg")), P(u"/mnt/backup/photos/a.jpg"));
    EXPECT_EQ(relative.apply(P(u" other/a.jpg")), P(u" other/a.jpg"));
    // F inside the recorded folder: what lies below F already stays.
    const Relocation inside(P(u"/srv/"), P(u"/srv/copy/"));
    EXPECT_EQ(inside.apply(P(u"/srv/copy/a.jpg")), P(u"/srv/copy/a.jpg"));
    EXPECT_EQ(inside.apply(P(u"/srv/a.jpg")), P(u"/srv/copy/a.jpg"));

    SummaryEntry entry = Entry(P(u"/srv/photos/\u00e9.jpg"));
    entry.otherReadings = {P(u"/srv/photos/\u00c3\u00a9.jpg")};
    moved.apply(entry);
    EXPECT_EQ(entry.name, P(u"/mnt/backup/photos/\u00e9.jpg"));
    EXPECT_EQ(entry.otherReadings, Names{P(u"/mnt/backup/photos/\u00c3\u00a9.jpg")});
    EXPECT_FALSE(Relocation().active());
}

// A summary's own files, named in any spelling that reaches them, where a
// move of the summary puts the name.
TEST(OwnFiles, AreNamedInAnySpellingThatReachesThem) {
    const OwnFiles own(u"Sumvane.md5", P(u"/mnt/backup/photos/"), P(u"/home/u/"));
    const Relocation moved(P(u"/srv/photos/"), P(u"/mnt/backup/photos/"));
    const std::pair<std::u16string, bool> cases[] = {
        {u"Sumvane.md5", true},
        {P(u"./Sumvane.md5X"), true},
        {u" Sumvane.md5.place", true},
        {u"*Sumvane.md5.dates", true},
        {P(u"/mnt/backup/photos/Sumvane.md5"), true},
        {P(u"/mnt/backup/photos//sub/../Sumvane.md5X.dates"), true},
        {u" " + P(u"/mnt/backup/photos/Sumvane.md5"), true},
        {P(u"../../mnt/backup/photos/Sumvane.md5"), true},  // from the current folder
        {P(u"/srv/photos/Sumvane.md5"), true},              // the summary, moved
        {P(u"/srv/other/Sumvane.md5"), false},              // another folder's
        {P(u"/mnt/backup/photos/sub/Sumvane.md5"), false},
        {u"sumvane.md5X", false},  // from a current folder that is not F
        {P(u"/mnt/backup/photos/sumvane.md5X"), TesselLibrary::kWindowsBuild},
        {P(u"../../mnt/backup/photos/SUMVANE.MD5"), TesselLibrary::kWindowsBuild},
        {u"Sumvane.md5.old", false},
        {P(u"/mnt/backup/photos/a.jpg"), false},
    };
    for (const auto& [name, named] : cases) {
        SCOPED_TRACE(TesselLibrary::ToSystemBytes(name));
        EXPECT_EQ(own.named(Entry(name), moved), named);
        // Any reading of the line names it.
        SummaryEntry entry = Entry(u"x\u00c3\u00a9");
        entry.otherReadings = {name};
        EXPECT_EQ(own.named(entry, moved), named);
    }
    EXPECT_FALSE(OwnFiles().named(Entry(u"Sumvane.md5"), Relocation()));
}

TEST(Relocation, AFolderIsShownWithoutItsLastSeparator) {
    EXPECT_EQ(shownFolder(P(u"/srv/photos/")), P(u"/srv/photos"));
    EXPECT_EQ(shownFolder(P(u"/")), P(u"/"));
    EXPECT_EQ(shownFolder(u""), u".");
}

}  // namespace
