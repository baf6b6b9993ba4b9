// Large and moving archives: a copied or moved folder checked with its own
// summary is checked where it is, never at the place it was recorded; and a
// check in slices (-t) goes on where the last one stopped, whatever stopped
// it.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "expectations.h"
#include "harness.h"
#include "tree.h"

using namespace e2e;

namespace {

using Lines = std::vector<std::string>;

std::string Line(const std::string& digits, const std::string& path) { return digits + " " + path + "\r\n"; }

// The mismatch of a file whose bytes changed and whose date did not.
std::string Damaged(const std::string& path, const std::string& stored, const std::string& now) {
    return path + " - MD5 Mismatch (" + stored + " - " + now + ") - Damaged: Date Unchanged";
}

// Writes `bytes` into `file` as damage does: its date stays as it was, the
// one recorded beside the summary, and not after the summary's.
void Damage(const fs::path& file, const std::string& bytes, const fs::path& summary) {
    const auto date = fs::last_write_time(file);
    EXPECT_LE(date, fs::last_write_time(summary));
    WriteFile(file, bytes);
    fs::last_write_time(file, date);
}

// A copy as `cp -a` makes it: every file keeps its date.
void CopyKeepingDates(const fs::path& from, const fs::path& to) {
    fs::copy(from, to, fs::copy_options::recursive);
    for (const auto& entry : fs::recursive_directory_iterator(from)) {
        if (entry.is_regular_file())
            fs::last_write_time(to / fs::relative(entry.path(), from), entry.last_write_time());
    }
}

// `rel` ("sub/b.jpg") below the folder the program spells `folderText`.
std::string In(const std::string& folderText, std::string rel) {
    for (char& c : rel) c = c == '/' ? Sep()[0] : c;
    return folderText + Sep() + rel;
}

std::string RecordedUnder(const std::string& checked, const std::string& recorded) {
    return checked + " - Recorded Under " + recorded;
}

// A run whose log holds news (which fails nothing) and problems, `counted`
// as the closing line counts them: on Linux standard error repeats the log,
// then counts the problems only.
void ExpectRunWithNews(const RunResult& r, int exitCode, const std::string& counted, const fs::path& log) {
    EXPECT_EQ(r.exitCode, exitCode);
    EXPECT_EQ(r.out, Banner());
    if (WineMode()) return;
    std::string lines = LogText(log).value_or("<no log>");
    for (std::size_t at; (at = lines.find("\r\n")) != std::string::npos;) lines.replace(at, 2, "\n");
    EXPECT_EQ(r.err, TerminalText(lines) + "sumvane: " + counted + "; log: " + Native(log) + "\n");
}

const std::vector<Recorded> kPhotos = {
    {"a.jpg", "photo a", ""}, {"sub/b.jpg", "photo b", ""}, {"sub/c.jpg", "photo c", ""}};

// An archive recorded at `original` (-r -c) and copied whole to `copy`.
void RecordAndCopy(const Sandbox& box, const fs::path& original, const fs::path& copy,
                   const std::vector<Recorded>& files = kPhotos) {
    MakeTree(original, files);
    ExpectRun(box.Run({"-f" + Native(original), "-r", "-c"}), 0);
    fs::create_directories(copy.parent_path());
    CopyKeepingDates(original, copy);
}

// The backup checked while the original still exists and has changed since:
// every verdict is about the copy, and its rewrite names the copy's files.
TEST(MovedArchive, ACopyIsCheckedWhereItIsNotWhereItWasRecorded) {
    Sandbox box;
    const fs::path original = box.root() / "srv" / "photos";
    const fs::path copy = box.root() / "backup" / "photos";
    RecordAndCopy(box, original, copy);
    for (const Recorded& file : kPhotos) WriteFile(original / file.rel, "edited since: " + file.content);
    Damage(copy / "sub" / "b.jpg", "damaged", copy / "Sumvane.md5");
    const std::string copyText = Native(copy);
    const fs::path log = box.desktop() / LogName(copyText);
    const Lines expected = {RecordedUnder(copyText, Native(original)),
                            Damaged(In(copyText, "sub/b.jpg"), Md5Of("photo b"), Md5Of("damaged"))};

    ExpectRunWithNews(box.Run({"-f" + copyText, "-v"}), 1, "1 problem (1 damaged)", log);
    EXPECT_EQ(LogLines(log), expected);
    // A bare summary path checks the same way.
    ExpectRunWithNews(box.Run({Native(copy / "Sumvane.md5")}), 1, "1 problem (1 damaged)", log);
    EXPECT_EQ(LogLines(log), expected);

    ExpectRunWithNews(box.Run({"-f" + copyText, "-vc"}), 1, "1 problem (1 damaged)", log);
    EXPECT_EQ(LogLines(log), expected);
    std::vector<Recorded> now = kPhotos;
    now[1].content = "damaged";
    EXPECT_EQ(ReadFile(copy / "Sumvane.md5X"), ExpectedSummary(copyText, copy, now));
    // Taken for the summary, the rewrite is the copy's own: nothing moved.
    fs::rename(copy / "Sumvane.md5X", copy / "Sumvane.md5");
    ExpectRun(box.Run({"-f" + copyText, "-v"}), 0);
    ExpectNoLog(box, copyText);
}

// A folder recorded as "-fphotos" (or listed by "md5sum photos/...") holds
// names relative to where the list was made. Its copy, checked from the
// same place, is checked where it is; and the folder itself, checked from
// elsewhere, where it is too, not below the folder the check runs in.
TEST(MovedArchive, AFolderRecordedUnderARelativePath) {
    Sandbox box;
    RunOptions above;
    above.cwd = box.root();
    MakeTree(box.root() / "photos", kPhotos);
    const fs::path log = box.desktop() / LogName("copy");
    if (!WineMode()) {  // md5sum's names hold "/", which the log would show as they are under Wine
        const std::string command = "cd '" + box.root().string() +
                                    "' && md5sum photos/a.jpg photos/sub/b.jpg photos/sub/c.jpg > photos/Sumvane.md5";
        ASSERT_EQ(std::system(command.c_str()), 0);
        CopyKeepingDates(box.root() / "photos", box.root() / "copy");
        Damage(box.root() / "copy" / "sub" / "b.jpg", "damaged", box.root() / "copy" / "Sumvane.md5");
        ExpectRunWithNews(box.Run({"-fcopy", "-v"}, above), 1, "1 problem (1 damaged)", log);
        EXPECT_EQ(LogLines(log), (Lines{RecordedUnder("copy", "photos"),
                                        Damaged("copy/sub/b.jpg", Lower(Md5Of("photo b")), Md5Of("damaged"))}));
        fs::remove_all(box.root() / "copy");
    }
    ExpectRun(box.Run({"-fphotos", "-r", "-c"}, above), 0);
    CopyKeepingDates(box.root() / "photos", box.root() / "copy");
    Damage(box.root() / "copy" / "sub" / "b.jpg", "damaged", box.root() / "copy" / "Sumvane.md5");
    fs::remove(box.root() / "copy" / "a.jpg");
    ExpectRunWithNews(box.Run({"-fcopy", "-v"}, above), 1, "2 problems (1 damaged, 1 missing)", log);
    EXPECT_EQ(LogLines(log), (Lines{RecordedUnder("copy", "photos"), In("copy", "a.jpg") + " - File Not Found",
                                    Damaged(In("copy", "sub/b.jpg"), Md5Of("photo b"), Md5Of("damaged"))}));

    ExpectRun(box.Run({"-fphotos", "-v"}, above), 0);
    EXPECT_FALSE(fs::exists(box.desktop() / LogName("photos")));
    fs::create_directories(box.root() / "elsewhere" / "photos");
    RunOptions elsewhere;
    elsewhere.cwd = box.root() / "elsewhere";
    const std::string photosText = Native(box.root() / "photos");
    const fs::path photosLog = box.desktop() / LogName(photosText);
    ExpectRunWithNews(box.Run({"-f" + photosText, "-v"}, elsewhere), 0, "no problem", photosLog);
    EXPECT_EQ(LogLines(photosLog), Lines{RecordedUnder(photosText, "photos")});
}

// Proof that the original is never opened: it cannot be, and nothing says so.
TEST(MovedArchive, TheOriginalIsNeverOpened) {
    if (WineMode()) GTEST_SKIP() << "POSIX permissions";
    Sandbox box;
    if (const std::string why = box.unprivilegedUnavailable(); !why.empty()) GTEST_SKIP() << why;
    const fs::path original = box.root() / "srv" / "photos";
    const fs::path copy = box.root() / "backup" / "photos";
    RecordAndCopy(box, original, copy);
    Damage(copy / "a.jpg", "damaged", copy / "Sumvane.md5");
    if (::geteuid() == 0) GiveToUnprivileged(box.root());
    fs::permissions(original / "a.jpg", fs::perms::none);
    fs::permissions(original / "sub", fs::perms::none);
    RunOptions asUser;
    asUser.unprivileged = true;
    const std::string copyText = Native(copy);
    const fs::path log = box.desktop() / LogName(copyText);

    ExpectRunWithNews(box.Run({"-f" + copyText, "-v"}, asUser), 1, "1 problem (1 damaged)", log);
    EXPECT_EQ(LogLines(log), (Lines{RecordedUnder(copyText, Native(original)),
                                    Damaged(In(copyText, "a.jpg"), Md5Of("photo a"), Md5Of("damaged"))}));
    fs::permissions(original / "sub", fs::perms::owner_all);
}

// A copy under another folder name, the original gone: every file is found.
TEST(MovedArchive, ACopyUnderAnotherNameWithTheOriginalGone) {
    Sandbox box;
    const fs::path original = box.root() / "srv" / "photos";
    const fs::path copy = box.root() / "backup" / "photos-2024";
    RecordAndCopy(box, original, copy);
    fs::remove_all(original);
    const std::string copyText = Native(copy);
    const fs::path log = box.desktop() / LogName(copyText);

    ExpectRunWithNews(box.Run({"-f" + copyText, "-v"}), 0, "no problem", log);
    EXPECT_EQ(LogLines(log), Lines{RecordedUnder(copyText, Native(original))});

    // A check that also walks the copy meets its entries there: only a file
    // the summary does not list is new, and the rewrite is the copy's.
    WriteFile(copy / "sub" / "new.jpg", "new photo");
    ExpectRunWithNews(box.Run({"-f" + copyText, "-r", "-avc"}), 0, "no problem, 1 new file", log);
    EXPECT_EQ(LogLines(log),
              (Lines{RecordedUnder(copyText, Native(original)), In(copyText, "sub/new.jpg") + " - New File"}));
    std::vector<Recorded> now = kPhotos;
    now.push_back({"sub/new.jpg", "new photo", ""});
    EXPECT_EQ(ReadFile(copy / "Sumvane.md5X"), ExpectedSummary(copyText, copy, now));
}

// Every file in one subfolder (the entries' common folder is deeper than the
// one recorded), and lines added for files elsewhere, checked as written.
TEST(MovedArchive, FilesInOneSubfolderAndOthersOutsideTheRecordedFolder) {
    Sandbox box;
    const fs::path original = box.root() / "srv" / "photos";
    const fs::path moved = box.root() / "backup" / "photos";
    const std::vector<Recorded> files = {{"2024/x.jpg", "photo x", ""}, {"2024/y.jpg", "photo y", ""}};
    MakeTree(original, files);
    ExpectRun(box.Run({"-f" + Native(original), "-r", "-c"}), 0);
    const fs::path notes = box.root() / "elsewhere" / "notes.txt";
    WriteFile(notes, "notes");
    const fs::path gone = box.root() / "elsewhere" / "gone.txt";
    std::string summary = *ReadFile(original / "Sumvane.md5");
    summary += Line(Md5Of("notes"), Native(notes)) + Line(Md5Of("gone"), Native(gone));
    WriteFile(original / "Sumvane.md5", summary);
    fs::create_directories(moved.parent_path());
    fs::rename(original, moved);
    const std::string movedText = Native(moved);
    const fs::path log = box.desktop() / LogName(movedText);

    ExpectRunWithNews(box.Run({"-f" + movedText, "-vc"}), 1, "1 problem (1 missing)", log);
    EXPECT_EQ(LogLines(log), (Lines{RecordedUnder(movedText, Native(original)), Native(gone) + " - File Not Found"}));
    EXPECT_EQ(ReadFile(moved / "Sumvane.md5X"),
              ExpectedSummary(movedText, moved, files) + Line(Md5Of("notes"), Native(notes)));
}

// A folder's own summary with a line added by hand for a file of the same
// name elsewhere: the summary stays where it was recorded, and the hand line
// is checked, and kept, as written.
TEST(MovedArchive, ALineAddedByHandNeverMovesTheCheck) {
    Sandbox box;
    const fs::path photos = box.root() / "photos";
    const std::vector<Recorded> files = {{"a.jpg", "photo a", ""}, {"index.html", "album", ""}};
    MakeTree(photos, files);
    const std::string photosText = Native(photos);
    ExpectRun(box.Run({"-f" + photosText, "-r", "-c"}), 0);
    const fs::path outside = box.root() / "elsewhere" / "extra" / "index.html";
    WriteFile(outside, "site");
    WriteFile(photos / "Sumvane.md5", *ReadFile(photos / "Sumvane.md5") + Line(Md5Of("site"), Native(outside)));
    Damage(outside, "defaced", photos / "Sumvane.md5");
    const fs::path log = box.desktop() / LogName(photosText);
    const Lines expected = {Damaged(Native(outside), Md5Of("site"), Md5Of("defaced"))};

    ExpectRun(box.Run({"-f" + photosText, "-v"}), 1);
    EXPECT_EQ(LogLines(log), expected);
    ExpectRun(box.Run({"-f" + photosText, "-r", "-avc"}), 1);
    EXPECT_EQ(LogLines(log), expected);
    // In the walk's order, which puts the path outside first here.
    EXPECT_EQ(ReadFile(photos / "Sumvane.md5X"),
              Line(Md5Of("defaced"), Native(outside)) + ExpectedSummary(photosText, photos, files));
}

// A copy that lost more files from the summary's start than the first look
// covers is still checked where it is, never at the original.
TEST(MovedArchive, ACopyThatLostItsFirstFilesIsCheckedWhereItIs) {
    Sandbox box;
    const fs::path original = box.root() / "srv" / "photos";
    const fs::path copy = box.root() / "backup" / "photos";
    std::vector<Recorded> files;
    for (int i = 100; i < 170; ++i)
        files.push_back({"a" + std::to_string(i) + ".jpg", "photo " + std::to_string(i), ""});
    files.push_back({"z.jpg", "photo z", ""});
    RecordAndCopy(box, original, copy, files);
    Lines expected = {RecordedUnder(Native(copy), Native(original))};
    for (std::size_t i = 0; i + 1 < files.size(); ++i) {
        fs::remove(copy / files[i].rel);
        expected.push_back(In(Native(copy), files[i].rel) + " - File Not Found");
    }
    Damage(copy / "z.jpg", "damaged", copy / "Sumvane.md5");
    expected.push_back(Damaged(In(Native(copy), "z.jpg"), Md5Of("photo z"), Md5Of("damaged")));
    const fs::path log = box.desktop() / LogName(Native(copy));

    ExpectRunWithNews(box.Run({"-f" + Native(copy), "-v"}), 1, "71 problems (1 damaged, 70 missing)", log);
    EXPECT_EQ(LogLines(log), expected);
}

// Two folders fit the entries equally: the files are checked as written, and
// the run fails though each of them is intact; a rewrite would say nothing new.
TEST(MovedArchive, TwoFoldersFittingEquallyFailTheRun) {
    Sandbox box;
    const fs::path first = box.root() / "ua" / "p" / "x.jpg";
    const fs::path second = box.root() / "ub" / "q" / "y.jpg";
    const fs::path checked = box.root() / "u1";
    for (const fs::path& file : {first, second, checked / first.filename(), checked / second.filename()}) {
        WriteFile(file, "photo " + file.filename().string());
    }
    WriteFile(checked / "Sumvane.md5",
              Line(Md5Of("photo x.jpg"), Native(first)) + Line(Md5Of("photo y.jpg"), Native(second)));
    const std::string checkedText = Native(checked);
    const fs::path log = box.desktop() / LogName(checkedText);
    const Lines expected = {RecordedUnder(
        checkedText,
        Native(first.parent_path()) + " or " + Native(second.parent_path()) + " (undecided: checked as written)")};

    for (const char* mode : {"-v", "-vc"}) {
        SCOPED_TRACE(mode);
        ExpectRunWithNews(box.Run({"-f" + checkedText, mode}), 1, "1 problem", log);
        EXPECT_EQ(LogLines(log), expected);
        EXPECT_FALSE(fs::exists(checked / "Sumvane.md5X"));
    }
}

// A disk that comes back under another drive letter (here a Wine drive
// mapping): the summary's "Z:\..." paths are checked on the new drive.
TEST(MovedArchive, ADiskUnderAnotherDriveLetter) {
    if (!WineMode()) GTEST_SKIP() << "Windows drive letters";
    const char* prefix = std::getenv("WINEPREFIX");
    if (!prefix) GTEST_SKIP() << "no WINEPREFIX to map a drive in";
    Sandbox box;
    const fs::path original = box.root() / "srv" / "photos";
    const fs::path disk = box.root() / "disk";
    RecordAndCopy(box, original, disk / "photos");
    fs::remove_all(original);
    Damage(disk / "photos" / "sub" / "c.jpg", "damaged", disk / "photos" / "Sumvane.md5");
    const fs::path drive = fs::path(prefix) / "dosdevices" / "s:";
    fs::remove(drive);
    fs::create_directory_symlink(disk, drive);
    const std::string checked = "S:\\photos";
    const fs::path log = box.desktop() / LogName(checked);

    const RunResult r = box.Run({"-f" + checked, "-v"});
    fs::remove(drive);
    ExpectRunWithNews(r, 1, "1 problem (1 damaged)", log);
    EXPECT_EQ(LogLines(log), (Lines{RecordedUnder(checked, Native(original)),
                                    Damaged("S:\\photos\\sub\\c.jpg", Md5Of("photo c"), Md5Of("damaged"))}));
}

// The place file beside the summary, and its "next" entry (from 1); 0 when
// there is none.
std::optional<std::string> Place(const fs::path& folder) { return ReadFile(folder / "Sumvane.md5.place"); }

std::uint64_t NextEntry(const fs::path& folder) {
    static const std::regex next("\r\nnext ([0-9]+)\r\n");
    std::smatch m;
    const std::string text = Place(folder).value_or("");
    return std::regex_search(text, m, next) ? std::stoull(m[1].str()) : 0;
}

// Entries e1..e6 recorded with digests none of them has, so that the log
// names each entry a run checks, in the order it checks them.
struct SlicedTree {
    explicit SlicedTree(const Sandbox& box)
        : root(box.root() / "data"), text(Native(root)), log(box.desktop() / LogName(text)) {
        for (int i = 1; i <= 6; ++i) {
            const std::string name = "e" + std::to_string(i);
            WriteFile(root / name, "now " + name);
            summary += Line(Md5Of("then " + name), In(text, name));
        }
        WriteFile(root / "Sumvane.md5", summary);
    }
    Lines Checked(const std::vector<int>& order) const {
        Lines lines;
        for (const int i : order) {
            const std::string name = "e" + std::to_string(i);
            lines.push_back(Damaged(In(text, name), Md5Of("then " + name), Md5Of("now " + name)));
        }
        return lines;
    }
    fs::path root;
    std::string text;
    fs::path log;
    std::string summary;
};

std::string Today() {
    const std::time_t now = std::time(nullptr);
    char date[16];
    std::strftime(date, sizeof date, "%Y-%m-%d", std::localtime(&now));
    return date;
}

TEST(Slices, GoOnWhereTheLastStoppedAndRoundToWhereTheyBegan) {
    Sandbox box;
    SlicedTree tree(box);
    const std::string closing =
        "sumvane: 6 problems (6 damaged); log: " + Native(tree.log) + "; checked 6 of 6 files (lines ";

    RunResult r = box.Run({"-f" + tree.text, "-v", "-t1h"});
    ExpectRun(r, 1);
    EXPECT_EQ(LogLines(tree.log), tree.Checked({1, 2, 3, 4, 5, 6}));
    if (!WineMode()) {
        EXPECT_TRUE(r.err.ends_with(closing + "1-6); last full round finished " + Today() + "\n")) << r.err;
    }
    const std::optional<std::string> place = Place(tree.root);
    ASSERT_TRUE(place);
    EXPECT_TRUE(std::regex_match(*place, std::regex("Sumvane: where the check in slices goes on\r\nentries 6\r\n"
                                                    "fingerprint [0-9A-F]{16}\r\nnext 1\r\nlast full round " +
                                                    Today() + " [0-9:]{8}\r\n")))
        << *place;

    // As a run stopped at entry 4 would have left it: on from there, round.
    std::string atFour = *place;
    atFour.replace(atFour.find("\r\nnext 1\r\n"), 10, "\r\nnext 4\r\n");
    WriteFile(tree.root / "Sumvane.md5.place", atFour);
    r = box.Run({"-f" + tree.text, "-v", "-t", "60"});
    ExpectRun(r, 1);
    EXPECT_EQ(LogLines(tree.log), tree.Checked({4, 5, 6, 1, 2, 3}));
    if (!WineMode()) {
        EXPECT_TRUE(r.err.ends_with(closing + "4-6, 1-3); last full round finished " + Today() + "\n")) << r.err;
    }
    EXPECT_EQ(NextEntry(tree.root), 4u);

    // An edited summary starts again from its first entry.
    std::string edited = tree.summary;
    edited.replace(0, 32, Md5Of("then e0"));
    WriteFile(tree.root / "Sumvane.md5", edited);
    ExpectRun(box.Run({"-f" + tree.text, "-v", "-t5s"}), 1);
    const Lines all = tree.Checked({1, 2, 3, 4, 5, 6});
    Lines expected = all;
    expected[0] = Damaged(In(tree.text, "e1"), Md5Of("then e0"), Md5Of("now e1"));
    EXPECT_EQ(LogLines(tree.log), expected);

    // A build never records the place, as it never records the summary.
    ExpectRun(box.Run({"-f" + tree.text, "-c"}), 0);
    std::vector<Recorded> files;
    for (int i = 1; i <= 6; ++i) files.push_back({"e" + std::to_string(i), "now e" + std::to_string(i), ""});
    EXPECT_EQ(ReadFile(tree.root / "Sumvane.md5"), ExpectedSummary(tree.text, tree.root, files));
    ASSERT_TRUE(Place(tree.root));
}

// A rewrite needs the whole summary, a time must be one, and -b needs a
// folder's check: such runs do nothing at all, not even delete the log of
// the run before.
TEST(Slices, ARewriteOrATimeThatIsNoneIsRefused) {
    Sandbox box;
    SlicedTree tree(box);
    const std::string earlierLog = std::string("[\0", 2);
    WriteFile(tree.log, earlierLog);
    const struct Case {
        std::vector<std::string> options;
        std::string said;
    } cases[] = {
        {{"-vc", "-t2h"}, "-t cannot be used with -vc: a rewrite needs the whole summary"},
        {{"-a", "-v", "-t2h"}, "-t cannot be used with -a: new files are found by a walk of the whole folder"},
        {{"-v", "-t2d"}, "-t2d: not a time; give minutes (-t90), or a number with s, m or h after it (-t30s, -t2h)"},
        {{"-v", "-t9999999h"}, "-t9999999h: too long a time; give at most 1000000 hours (-t1000000h)"},
        // A copy to heal from is for a folder's check only.
        {{"-c", "-b/mnt/backup"},
         "-b cannot be used without a folder's check: it heals what -f and -v (or -vc) find damaged"},
        {{"-v", "-b"}, "-b: name the copy of the folder checked (-b/mnt/backup/photos)"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"-f" + tree.text};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const RunResult r = box.Run(args);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.out, "");
        if (!WineMode()) {
            EXPECT_EQ(r.err, "sumvane: " + c.said + "\n");
        }
        EXPECT_EQ(ReadFile(tree.log), earlierLog);
        EXPECT_FALSE(Place(tree.root));
        EXPECT_FALSE(fs::exists(tree.root / "Sumvane.md5X"));
    }
}

// Runs stopped at random points (killed, terminated, interrupted), then
// runs that run out of time: each next run starts exactly where the place
// says, the place never passes an entry that was not checked (so none is
// skipped), and what is checked twice is at most about a second of work,
// the place being saved as the run goes.
// Whether the process takes the signal itself yet (it blocks it, for the
// thread that waits for it): the mask of blocked signals the kernel shows.
bool Catches(pid_t pid, int signal) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("SigBlk:", 0) == 0) return (std::stoull(line.substr(7), nullptr, 16) >> (signal - 1)) & 1;
    }
    return false;
}

TEST(Slices, AStoppedRunGoesOnWithoutSkippingAnEntry) {
    if (WineMode()) GTEST_SKIP() << "POSIX signals";
    Sandbox box;
    const fs::path root = box.root() / "data";
    constexpr std::uint64_t kEntries = 1500;
    std::string summary;
    for (std::uint64_t i = 0; i < kEntries; ++i) {
        const std::string name = "e" + std::to_string(10000 + i);
        WriteFile(root / name, name);
        summary += Line(Md5Of("not " + name), Native(root / name));
    }
    WriteFile(root / "Sumvane.md5", summary);
    const std::string rootText = Native(root);
    const fs::path log = box.root() / "logs" / LogName(rootText);
    // Each file takes 2 ms to open: 500 entries a second at most, so no
    // run comes round to where it began.
    constexpr double kMostPerSecond = 500;
    RunOptions options;
    options.env = {{"LD_PRELOAD", SUMVANE_AT_OPEN_LIBRARY},
                   {"SUMVANE_PAUSE_NAME", "*e1"},
                   {"SUMVANE_PAUSE_SECONDS", "0.002"},
                   {"SUMVANE_THREADS", "1"},
                   {"ASAN_OPTIONS", WithLinkOrderUnchecked()}};
    std::mt19937 random(29);
    std::uniform_int_distribution<int> delay(50, 1500);  // ms; the time (2 s) is never reached
    const int signals[] = {SIGKILL, SIGTERM, SIGINT};
    std::uint64_t next = 0;  // the entry the next run checks first
    int savedWhileRunning = 0;
    for (int run = 0; run < 52; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        const bool stop = run < 50;
        const auto start = std::chrono::steady_clock::now();
        const auto stopAt = start + std::chrono::milliseconds(delay(random));
        const int signal = signals[run % 3];
        std::optional<std::chrono::steady_clock::time_point> sent;
        options.whileRunning = [&](pid_t pid) {
            // A signal the program cannot catch yet (it is still starting,
            // on a loaded machine) would end it before it began: no test.
            if (stop && !sent && std::chrono::steady_clock::now() >= stopAt &&
                (signal == SIGKILL || Catches(pid, signal)) && ::kill(pid, signal) == 0) {
                sent = std::chrono::steady_clock::now();
            }
        };
        const RunResult r =
            box.Run({"-f" + rootText, "-v", stop ? "-t2s" : "-t1s", "-o" + Native(log.parent_path())}, options);
        ASSERT_EQ(stop, sent.has_value()) << "the run ended before it could be stopped";
        EXPECT_EQ(r.exitCode, stop && signal == SIGKILL ? 128 + SIGKILL : 1);  // every entry is a mismatch
        // The entries the run checked, in order: the log's whole lines (a
        // killed run may have written part of one).
        std::vector<std::uint64_t> checked;
        const std::string text = LogText(log).value_or("");
        for (std::size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2) {
            const std::size_t name = text.find(rootText + Sep() + "e", at);
            ASSERT_LT(name, end) << text.substr(at, end - at);
            checked.push_back(std::stoull(text.substr(name + rootText.size() + 2, 5)) - 10000);
        }
        for (std::size_t k = 0; k < checked.size(); ++k) {
            ASSERT_EQ(checked[k], (next + k) % kEntries) << "entry " << k << " of the run";
        }
        const std::uint64_t saved = NextEntry(root) == 0 ? 0 : NextEntry(root) - 1;
        const std::uint64_t moved = (saved + kEntries - next) % kEntries;
        ASSERT_LE(moved, checked.size()) << "the place passed entries that were not checked";
        if (stop) {
            // At most a second's worth of entries at the most the pause
            // lets through. (The rate of the run itself is no measure: a
            // start slowed by a loaded machine makes it look slower than
            // the second before the signal was.)
            const double seconds = std::chrono::duration<double>(*sent - start).count();
            EXPECT_LE(static_cast<double>(checked.size() - moved), kMostPerSecond * 1.25 + 40)
                << checked.size() << " checked in " << seconds << " s, place moved by " << moved;
            if (moved > 0) ++savedWhileRunning;
        } else {
            EXPECT_GT(checked.size(), 0u);
            EXPECT_LT(checked.size(), kEntries) << "the time did not stop the run";
            EXPECT_EQ(moved, checked.size()) << "a run that ran out of time keeps its whole place";
        }
        next = saved;
    }
    // Stopped after a second or more, a run had saved its place already.
    EXPECT_GE(savedWhileRunning, 3);
}

// A file that takes long to read (here its open waits 3 s) does not hold back
// the place of the files checked before it: the run keeps it while it waits,
// so a run stopped then goes on after them.
TEST(Slices, ThePlaceIsKeptWhileTheRunWaitsForAFile) {
    if (WineMode()) GTEST_SKIP() << "the stand-in's pause";
    Sandbox box;
    const fs::path root = box.root() / "data";
    // Files hashed together wait for each other's opens (in the line's order,
    // as a disk that does not rotate is read): enough before the slow one
    // that some are done while it is opened.
    constexpr std::uint64_t kBefore = 40;
    std::string summary;
    for (std::uint64_t i = 0; i <= kBefore; ++i) {
        const std::string name = i < kBefore ? "a" + std::to_string(10 + i) : "slow";
        WriteFile(root / name, name);
        summary += Line(Md5Of(name), Native(root / name));
    }
    WriteFile(root / "Sumvane.md5", summary);
    RunOptions options;
    options.env = {{"LD_PRELOAD", SUMVANE_AT_OPEN_LIBRARY},
                   {"SUMVANE_PAUSE_NAME", "slow"},
                   {"SUMVANE_PAUSE_SECONDS", "3"},
                   {"SUMVANE_DISK_ORDER", "0"},
                   {"ASAN_OPTIONS", WithLinkOrderUnchecked()}};
    std::uint64_t seen = 0;  // the highest next entry the place said while the run went
    options.whileRunning = [&](pid_t) { seen = std::max(seen, NextEntry(root)); };
    ExpectRun(box.Run({"-f" + Native(root), "-v", "-t60s"}, options), 0);
    EXPECT_GT(seen, 1u) << "the place was not kept while the slow file was opened";
    EXPECT_LE(seen, kBefore + 1);
    EXPECT_EQ(NextEntry(root), 1u);  // round once: the next run begins where this one did
}

}  // namespace
