// Each file's own record of its size and date as it was read, kept beside
// the summary (Sumvane.md5.dates): the true verdict of a mismatch in each
// case where the summary's own date misleads, the record's exact bytes after
// a build and after each rewrite, and what becomes of it when the summary is
// replaced by its rewrite, edited, or lies beside another summary's record.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "expectations.h"
#include "harness.h"
#include "tree.h"

using namespace e2e;

namespace {

using Lines = std::vector<std::string>;

const std::string kDamaged = " - Damaged: Date Unchanged";

std::string Mismatch(const std::string& path, const std::string& stored, const std::string& now,
                     const std::string& date) {
    return path + " - MD5 Mismatch (" + stored + " - " + now + ")" + date;
}

std::string Modified(const fs::path& file) { return " - Modified " + LocalTimeText(WriteTimeOf(file)); }

long long Now() {
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Its bytes changed, its date kept: what decay does.
void Damage(const fs::path& file) {
    const WriteTime date = WriteTimeOf(file);
    WriteFile(file, "decayed");
    SetWriteTime(file, date);
}

void Edit(const fs::path& file, std::optional<WriteTime> date = std::nullopt) {
    WriteFile(file, "edited");
    if (date) SetWriteTime(file, *date);
}

// Three photos in `root`, dated three hours ago a minute apart.
struct Photos {
    explicit Photos(const fs::path& at) : root(at), text(Native(root)) {
        for (int k = 0; k < 3; ++k) {
            const std::string name = std::string(1, static_cast<char>('a' + k)) + ".jpg";
            WriteFile(root / name, "photo " + name);
            SetWriteTime(root / name, {Now() - 3 * 3600 + 60 * k, 0});
        }
    }
    fs::path operator/(const std::string& name) const { return root / name; }
    std::string Path(const std::string& name) const { return Native(root / name); }
    fs::path Summary() const { return root / "Sumvane.md5"; }
    fs::path Dates() const { return root / "Sumvane.md5.dates"; }
    // The summary as if written two hours ago, an hour after its files.
    void Backdate() const { SetWriteTime(Summary(), {Now() - 2 * 3600, 0}); }

    fs::path root;
    std::string text;
};

struct Case {
    const char* what;
    bool linuxOnly;                                           // it needs a stand-in loaded into the program
    std::function<void(Photos&)> before;                      // before the build (null: nothing)
    std::function<RunResult(const Sandbox&, Photos&)> build;  // null: -c
    std::function<void(const Sandbox&, Photos&)> after;       // between the build and the check
    std::function<Lines(Photos&)> log;                        // the check's, as the files are then
    const char* check = "-v";
};

// The moved-over, edited and damaged files of a summary whose date misleads:
// with a record each is judged from its own date.
TEST(FileDates, EachMismatchGetsItsTrueVerdict) {
    const Case cases[] = {
        {"an edit during a long build", true, nullptr,
         [](const Sandbox& box, Photos& p) {
             // The summary's first line, a.jpg's, takes two seconds to
             // reach the disk (the opening of the summary's new file waits):
             // a.jpg, read by then, is edited by its owner a second into the
             // build, long before the summary is in place.
             RunOptions slow;
             slow.env = {{"LD_PRELOAD", SUMVANE_AT_OPEN_LIBRARY},
                         {"SUMVANE_PAUSE_NAME", "*.sumvane-"},
                         {"SUMVANE_PAUSE_SECONDS", "2"},
                         {"SUMVANE_THREADS", "1"},
                         {"ASAN_OPTIONS", WithLinkOrderUnchecked()}};
             const auto start = std::chrono::steady_clock::now();
             bool edited = false;
             slow.whileRunning = [&](pid_t) {
                 if (!edited && std::chrono::steady_clock::now() - start > std::chrono::seconds(1)) {
                     Edit(p / "a.jpg");
                     edited = true;
                 }
             };
             RunResult r = box.Run({"-f" + p.text, "-c"}, slow);
             EXPECT_TRUE(edited);
             // Read before the edit; older than the summary, whose date
             // would call it damaged.
             EXPECT_EQ(ReadFile(p.Summary())->substr(0, 32), Md5Of("photo a.jpg"));
             EXPECT_LT(WriteTimeOf(p / "a.jpg"), WriteTimeOf(p.Summary()));
             return r;
         },
         nullptr,
         [](Photos& p) {
             return Lines{Mismatch(p.Path("a.jpg"), Md5Of("photo a.jpg"), Md5Of("edited"), Modified(p / "a.jpg"))};
         }},
        {"a damaged file dated in the future (a camera's wrong clock)", false,
         [](Photos& p) {
             SetWriteTime(p / "a.jpg", {Now() + 5 * 366 * 86400, 0});
         },
         nullptr, [](const Sandbox&, Photos& p) { Damage(p / "a.jpg"); },
         [](Photos& p) { return Lines{Mismatch(p.Path("a.jpg"), Md5Of("photo a.jpg"), Md5Of("decayed"), kDamaged)}; }},
        {"an edit, then the summary touched", false, nullptr, nullptr,
         [](const Sandbox&, Photos& p) {
             p.Backdate();
             Edit(p / "a.jpg", WriteTime{Now() - 3600, 0});
             Damage(p / "c.jpg");
             SetWriteTime(p.Summary(), {Now(), 0});
         },
         [](Photos& p) {
             return Lines{Mismatch(p.Path("a.jpg"), Md5Of("photo a.jpg"), Md5Of("edited"), Modified(p / "a.jpg")),
                          Mismatch(p.Path("c.jpg"), Md5Of("photo c.jpg"), Md5Of("decayed"), kDamaged)};
         }},
        {"an edit, then the summary's line ends changed by sed -i", false, nullptr, nullptr,
         [](const Sandbox&, Photos& p) {
             p.Backdate();
             Edit(p / "a.jpg", WriteTime{Now() - 3600, 0});
             Damage(p / "c.jpg");
             std::string lines = *ReadFile(p.Summary());
             for (std::size_t at; (at = lines.find("\r\n")) != std::string::npos;) lines.replace(at, 2, "\n");
             WriteFile(p.Summary(), lines);
         },
         [](Photos& p) {
             return Lines{Mismatch(p.Path("a.jpg"), Md5Of("photo a.jpg"), Md5Of("edited"), Modified(p / "a.jpg")),
                          Mismatch(p.Path("c.jpg"), Md5Of("photo c.jpg"), Md5Of("decayed"), kDamaged)};
         }},
        {"mv b.jpg c.jpg, both listed", false, nullptr, nullptr,
         [](const Sandbox&, Photos& p) {
             p.Backdate();
             fs::rename(p / "b.jpg", p / "c.jpg");
         },
         [](Photos& p) {
             return Lines{p.Path("b.jpg") + " - File Not Found",
                          Mismatch(p.Path("c.jpg"), Md5Of("photo c.jpg"), Md5Of("photo b.jpg"), Modified(p / "c.jpg"))};
         }},
        {"a list md5sum wrote, with a damaged file dated in the future", false,
         [](Photos& p) {
             SetWriteTime(p / "a.jpg", {Now() + 5 * 366 * 86400, 0});
         },
         nullptr,
         [](const Sandbox&, Photos& p) {
             fs::remove(p.Dates());
             std::string list;
             for (const char* name : {"a.jpg", "b.jpg", "c.jpg"})
                 list += Lower(Md5Of(std::string("photo ") + name)) + "  " + p.Path(name) + "\n";
             WriteFile(p.Summary(), list);
             p.Backdate();
             Damage(p / "a.jpg");
             Damage(p / "c.jpg");
         },
         [](Photos& p) {
             // No record: the summary's date decides, and a date after the
             // check's start tells nothing.
             return Lines{Mismatch(p.Path("a.jpg"), Lower(Md5Of("photo a.jpg")), Md5Of("decayed"), ""),
                          Mismatch(p.Path("c.jpg"), Lower(Md5Of("photo c.jpg")), Md5Of("decayed"), kDamaged)};
         }},
        {"the rewrite of -avc moved into the summary's place", false, nullptr, nullptr,
         [](const Sandbox& box, Photos& p) {
             Edit(p / "b.jpg");
             EXPECT_EQ(box.Run({"-f" + p.text, "-avc"}).exitCode, 1);
             const std::optional<std::string> rewrites = ReadFile(p.root / "Sumvane.md5X.dates");
             fs::rename(p.root / "Sumvane.md5X", p.Summary());
             // The next check takes its record in with it, in one rename.
             ExpectRun(box.Run({"-f" + p.text, "-v"}), 0);
             EXPECT_EQ(ReadFile(p.Dates()), rewrites);
             EXPECT_FALSE(fs::exists(p.root / "Sumvane.md5X.dates"));
             p.Backdate();
             Edit(p / "a.jpg", WriteTime{Now() - 2 * 3600 - 60, 0});  // still older than the summary
             Damage(p / "b.jpg");
         },
         [](Photos& p) {
             return Lines{Mismatch(p.Path("a.jpg"), Md5Of("photo a.jpg"), Md5Of("edited"), Modified(p / "a.jpg")),
                          Mismatch(p.Path("b.jpg"), Md5Of("edited"), Md5Of("decayed"), kDamaged)};
         }},
        {"a summary in another order than the walk's, checked with -a", false, nullptr, nullptr,
         [](const Sandbox& box, Photos& p) {
             std::string lines;
             for (const char* name : {"c.jpg", "b.jpg", "a.jpg"})
                 lines += Md5Of(std::string("photo ") + name) + " " + p.Path(name) + "\r\n";
             WriteFile(p.Summary(), lines);
             Edit(p / "b.jpg");
             // Its rewrite, in the summary's order, and the rewrite's record.
             EXPECT_EQ(box.Run({"-f" + p.text, "-vc"}).exitCode, 1);
             fs::rename(p.root / "Sumvane.md5X", p.Summary());
             p.Backdate();
             Edit(p / "a.jpg", WriteTime{Now() - 2 * 3600 - 60, 0});
             Damage(p / "c.jpg");
         },
         [](Photos& p) {
             return Lines{Mismatch(p.Path("a.jpg"), Md5Of("photo a.jpg"), Md5Of("edited"), Modified(p / "a.jpg")),
                          Mismatch(p.Path("c.jpg"), Md5Of("photo c.jpg"), Md5Of("decayed"), kDamaged)};
         },
         "-av"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.linuxOnly && WineMode()) continue;
        Sandbox box;
        Photos photos(box.root() / "p");
        if (c.before) c.before(photos);
        ExpectRun(c.build ? c.build(box, photos) : box.Run({"-f" + photos.text, "-c"}), 0);
        if (c.after) c.after(box, photos);
        const RunResult r = box.Run({"-f" + photos.text, c.check});
        ExpectRun(r, 1);
        EXPECT_EQ(LogLines(box.desktop() / LogName(photos.text)), c.log(photos));
    }
}

// A record that does not fit the summary beside it is ignored without a
// word, and the summary's date decides: b.jpg's date moved a second (its
// record would call it edited, the summary's date, later, damaged).
TEST(FileDates, ARecordThatDoesNotFitIsIgnored) {
    const struct {
        const char* what;
        std::function<void(const Sandbox&, Photos&)> spoil;
    } cases[] = {
        {"cut short", [](const Sandbox&, Photos& p) { fs::resize_file(p.Dates(), fs::file_size(p.Dates()) - 8); }},
        {"of another summary of as many entries",
         [](const Sandbox& box, Photos& p) {
             Photos other(box.root() / "q");
             WriteFile(other / "c.jpg", "another photo");
             ExpectRun(box.Run({"-f" + other.text, "-c"}), 0);
             fs::copy_file(other.Dates(), p.Dates(), fs::copy_options::overwrite_existing);
         }},
        {"of the summary before a line was dropped by hand",
         [](const Sandbox&, Photos& p) {
             const std::string lines = *ReadFile(p.Summary());
             WriteFile(p.Summary(), lines.substr(0, lines.rfind("\r\n", lines.size() - 3) + 2));
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Sandbox box;
        Photos p(box.root() / "p");
        ExpectRun(box.Run({"-f" + p.text, "-c"}), 0);
        c.spoil(box, p);
        const std::optional<std::string> spoilt = ReadFile(p.Dates());
        const WriteTime b = WriteTimeOf(p / "b.jpg");
        WriteFile(p / "b.jpg", "decayed");
        SetWriteTime(p / "b.jpg", {b.seconds + 1, b.nanoseconds});
        Edit(p / "a.jpg", WriteTime{Now() - 3600, 0});
        p.Backdate();
        const RunResult r = box.Run({"-f" + p.text, "-v"});
        ExpectRun(r, 1);
        EXPECT_EQ(LogLines(box.desktop() / LogName(p.text)),
                  (Lines{Mismatch(p.Path("a.jpg"), Md5Of("photo a.jpg"), Md5Of("edited"), Modified(p / "a.jpg")),
                         Mismatch(p.Path("b.jpg"), Md5Of("photo b.jpg"), Md5Of("decayed"), kDamaged)}));
        EXPECT_EQ(ReadFile(p.Dates()), spoilt);
    }
}

// The record of a build, byte for byte; each rewrite's is what a fresh
// build of the folder as it is then writes (a moved file recorded at its new
// place); neither a build nor -a takes a record for a file of the tree; a
// check in slices renames and writes none.
TEST(FileDates, TheRecordOfEachRewriteIsAFreshBuildsOfTheFolder) {
    Sandbox box;
    const fs::path root = box.root() / "t";
    const std::string text = Native(root);
    std::vector<Recorded> files = {{"a.jpg", "photo a", ""}, {"b.jpg", "photo b", ""}, {"sub/c.jpg", "photo c", ""}};
    MakeTree(root, files);
    const fs::path summary = root / "Sumvane.md5";
    const fs::path dates = root / "Sumvane.md5.dates";
    const fs::path rewrite = root / "Sumvane.md5X";
    const fs::path rewrites = root / "Sumvane.md5X.dates";
    ExpectRun(box.Run({"-f" + text, "-r", "-c"}), 0);
    EXPECT_EQ(ReadFile(summary), ExpectedSummary(text, root, files));
    EXPECT_EQ(ReadFile(dates), ExpectedDates(text, root, files));
    // Records in the root and below are no files of the tree.
    fs::copy_file(dates, root / "sub" / "Sumvane.md5.dates");
    fs::copy_file(dates, root / "sub" / "Sumvane.md5X.dates");
    ExpectRun(box.Run({"-f" + text, "-r", "-av"}), 0);
    ExpectNoLog(box, text);

    const auto freshBuild = [&] {
        const fs::path aside = box.root() / "aside";
        fs::create_directories(aside);
        fs::rename(summary, aside / "Sumvane.md5");
        fs::rename(dates, aside / "Sumvane.md5.dates");
        EXPECT_EQ(box.Run({"-f" + text, "-r", "-c"}).exitCode, 0);
        const std::optional<std::string> built = ReadFile(dates);
        EXPECT_EQ(ReadFile(summary), ReadFile(rewrite));
        fs::rename(aside / "Sumvane.md5", summary);
        fs::rename(aside / "Sumvane.md5.dates", dates);
        return built;
    };
    WriteFile(root / "b.jpg", "edited b");
    files[1].content = "edited b";
    ExpectRun(box.Run({"-f" + text, "-r", "-vc"}), 1);
    EXPECT_EQ(ReadFile(rewrites), ExpectedDates(text, root, files));
    EXPECT_EQ(ReadFile(rewrites), freshBuild());

    fs::create_directories(root / "new");
    fs::rename(root / "a.jpg", root / "new" / "a.jpg");
    WriteFile(root / "d.jpg", "photo d");
    files = {{"new/a.jpg", "photo a", ""},
             {"b.jpg", "edited b", ""},
             {"d.jpg", "photo d", ""},
             {"sub/c.jpg", "photo c", ""}};
    ExpectRun(box.Run({"-f" + text, "-r", "-avc"}), 1);
    EXPECT_EQ(ReadFile(rewrite), ExpectedSummary(text, root, files));
    EXPECT_EQ(ReadFile(rewrites), ExpectedDates(text, root, files));
    EXPECT_EQ(ReadFile(rewrites), freshBuild());

    // Taken for the summary: a check in slices, which writes no record,
    // takes the rewrite's in as it is.
    const std::optional<std::string> taken = ReadFile(rewrites);
    fs::rename(rewrite, summary);
    EXPECT_EQ(box.Run({"-f" + text, "-r", "-v", "-t1h", "-o" + Native(box.root() / "logs")}).exitCode, 0);
    EXPECT_EQ(ReadFile(dates), taken);
    EXPECT_FALSE(fs::exists(rewrites));
}

// A file system that keeps whole seconds (ext4 with 128-byte inodes): an
// edit in the second the summary was written is an edit, and a file
// damaged in that second, its date kept, is damage. Root alone can make one.
TEST(FileDates, AFileSystemOfWholeSeconds) {
    if (WineMode()) GTEST_SKIP() << "a Linux file system image";
    if (::geteuid() != 0) GTEST_SKIP() << "mounting a file system image needs root";
    if (::access("/dev/loop-control", F_OK) != 0) GTEST_SKIP() << "no loop device (/dev/loop-control)";
    Sandbox box;
    const fs::path image = box.root() / "seconds.img";
    const fs::path mounted = box.root() / "seconds";
    fs::create_directories(mounted);
    const std::string made = "truncate -s 8M '" + image.string() + "' && mkfs.ext4 -q -F -I 128 '" + image.string() +
                             "' >/dev/null 2>&1 && mount -o loop '" + image.string() + "' '" + mounted.string() + "'";
    if (std::system(made.c_str()) != 0) GTEST_SKIP() << "could not make and mount an ext4 image: " << made;
    struct Unmount {
        fs::path at;
        ~Unmount() { (void)!std::system(("umount '" + at.string() + "'").c_str()); }
    } unmount{mounted};

    Photos p(mounted / "p");
    WriteFile(p / "probe", "x");  // written now: a fraction of a second, where one is kept
    if (WriteTimeOf(p / "probe").nanoseconds != 0) GTEST_SKIP() << "the image keeps fractions of a second";
    fs::remove(p / "probe");
    ExpectRun(box.Run({"-f" + p.text, "-c"}), 0);
    // Edited in the second the summary was written: the summary's date
    // would not tell it from damage.
    Edit(p / "a.jpg", WriteTimeOf(p.Summary()));
    Damage(p / "b.jpg");
    const RunResult r = box.Run({"-f" + p.text, "-v"});
    ExpectRun(r, 1);
    EXPECT_EQ(LogLines(box.desktop() / LogName(p.text)),
              (Lines{Mismatch(p.Path("a.jpg"), Md5Of("photo a.jpg"), Md5Of("edited"), Modified(p / "a.jpg")),
                     Mismatch(p.Path("b.jpg"), Md5Of("photo b.jpg"), Md5Of("decayed"), kDamaged)}));
}

}  // namespace
