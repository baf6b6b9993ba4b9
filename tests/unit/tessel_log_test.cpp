// TesselLog, LogLinePrefix and DesktopFolder on the POSIX backend (the Win32
// one: tessel_log_win32_test.cpp).
#ifndef _WIN32
#include "tessel_log.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <regex>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "posix_test_support.h"
#include "text.h"
#include "desktop_folder.h"
#include "local_time.h"

namespace {

using TesselLibrary::TesselDateTime;
using TesselLibrary::TesselLog;

using posix_test::ScopedEnv;

class TesselLogTest : public ::testing::Test {
protected:
    std::string Path(const std::string& name) const { return dir_ + "/" + name; }
    static std::u16string U(const std::string& path) { return TesselLibrary::FromSystemBytes(path); }

    static std::string Bytes(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    static bool Exists(const std::string& path) {
        struct stat st;
        return ::lstat(path.c_str(), &st) == 0;
    }
    // The log's UTF-16LE bytes as text (the tests write ASCII only); fails
    // on an odd length or a non-ASCII unit.
    static std::string Text(const std::string& bytes) {
        EXPECT_EQ(bytes.size() % 2, 0u);
        std::string text;
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
            EXPECT_EQ(bytes[i + 1], '\0') << "at byte " << i;
            text.push_back(bytes[i]);
        }
        return text;
    }

    posix_test::TempDir temp_;
    const std::string dir_ = temp_.path();
};

const char* const kPrefix = R"(\[\d{4}-(0[1-9]|1[0-2])-(0[1-9]|[12]\d|3[01]) ([01]\d|2[0-3]):[0-5]\d:[0-5]\d\] )";

TEST_F(TesselLogTest, WriteLineOfAnEmptyTextIsAPrefixAndCrLf) {
    const std::string path = Path("log.txt");
    TesselLog log;
    log.Open(U(path), false);
    EXPECT_EQ(log.path(), U(path));
    EXPECT_FALSE(Exists(path));  // Open creates nothing
    log.WriteLine(u"");
    const std::string bytes = Bytes(path);
    ASSERT_EQ(bytes.size(), 48u);
    EXPECT_EQ(bytes.substr(44), std::string("\r\0\n\0", 4));
    EXPECT_TRUE(std::regex_match(Text(bytes), std::regex(std::string(kPrefix) + "\r\n")));
}

TEST_F(TesselLogTest, PiecesMakeOneLine) {
    const std::string path = Path("log.txt");
    TesselLog log;
    log.Open(U(path), false);
    log.Write(u"ab");
    log.Write(std::u16string(u"cd"));
    EXPECT_FALSE(Exists(path)) << "a line reaches the file whole, when it ends";
    log.WriteLine(u"ef");
    log.WriteLine(std::u16string(u"gh"));
    const std::string text = Text(Bytes(path));
    EXPECT_TRUE(std::regex_match(text, std::regex(std::string(kPrefix) + "abcdef\r\n" + kPrefix + "gh\r\n"))) << text;
    EXPECT_EQ(text.size(), 22u + 8u + 22u + 4u);
}

TEST_F(TesselLogTest, AnLfOrACrInsideATextStartsANewPrefix) {
    struct Case {
        const char* name;
        bool writeLine;  // else Write, then WriteLine of "c"
        const char16_t* text;
        std::string after;  // the log after the second prefix
    };
    const Case cases[] = {
        {"lf.txt", true, u"a\nb", "\r\n"},
        {"cr.txt", false, u"a\rb", "c\r\n"},
    };
    for (const Case& c : cases) {
        const std::string path = Path(c.name);
        TesselLog log;
        log.Open(U(path), false);
        if (c.writeLine) {
            log.WriteLine(c.text);
        } else {
            log.Write(c.text);
            log.WriteLine(u"c");
        }
        const std::string text = Text(Bytes(path));
        const std::string first = TesselLibrary::ToSystemBytes(c.text);
        EXPECT_TRUE(std::regex_match(text, std::regex(std::string(kPrefix) + first + kPrefix + c.after))) << text;
    }
}

TEST_F(TesselLogTest, BytesAreUtf16LittleEndianWithoutBom) {
    const std::string path = Path("log.txt");
    TesselLog log;
    log.Open(U(path), false);
    log.WriteLine(u"\u00e9\u20ac\U0001F600");
    const std::string bytes = Bytes(path);
    ASSERT_EQ(bytes.size(), 44u + 8u + 4u);
    EXPECT_EQ(bytes[0], '[');
    EXPECT_EQ(bytes[1], '\0');
    EXPECT_EQ(bytes.substr(44), std::string("\xE9\x00\xAC\x20\x3D\xD8\x00\xDE\r\0\n\0", 12));
}

TEST_F(TesselLogTest, NeverOpenedOrOpenedWithAnEmptyNameWritesNothing) {
    const std::string cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir_);
    {
        TesselLog never;
        never.Write(u"x");
        never.WriteLine(u"y");
        EXPECT_TRUE(never.path().empty());

        TesselLog closed;
        closed.Open(U(Path("log.txt")), false);
        closed.Open(u"", true);
        EXPECT_TRUE(closed.path().empty());
        closed.Write(u"x");
        closed.WriteLine(u"y");
        closed.WriteLine(static_cast<const char16_t*>(nullptr));
    }
    std::filesystem::current_path(cwd);
    EXPECT_TRUE(std::filesystem::is_empty(dir_));
}

// Everything written to standard error while it lives.
class CapturedStandardError {
public:
    CapturedStandardError() : file_(std::tmpfile()), saved_(::dup(STDERR_FILENO)) {
        std::fflush(stderr);
        ::dup2(::fileno(file_), STDERR_FILENO);
    }
    ~CapturedStandardError() { Text(); }
    std::string Text() {
        if (saved_ >= 0) {
            std::fflush(stderr);
            ::dup2(saved_, STDERR_FILENO);
            ::close(saved_);
            saved_ = -1;
            std::rewind(file_);
            for (int c; (c = std::fgetc(file_)) != EOF;) text_.push_back(static_cast<char>(c));
            std::fclose(file_);
        }
        return text_;
    }

private:
    std::FILE* file_;
    int saved_;
    std::string text_;
};

// The log's name comes from a folder's name, so the file at its path may be
// a user's own: only an earlier log (empty, or starting with the "[" of a
// time stamp) is removed. Otherwise the file stays and the lines go to
// standard error after a notice.
TEST_F(TesselLogTest, OpenRemovesOnlyAnOldLog) {
    enum Kind { File, Link, Folder };
    const struct Case {
        const char* name;
        Kind kind;
        std::string contents;
        bool removed;
    } cases[] = {
        {"read-only old log", File,
         std::string("[\0"
                     "2\0",
                     4),
         true},
        {"empty file", File, "", true},
        {"a user's text", File, "Photos of 2010", false},
        {"one byte", File, "[", false},
        {"link to a log", Link, std::string("[\0", 2), false},
        {"folder", Folder, "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = Path("log.txt");
        const std::string target = Path("target.txt");
        if (c.kind == Folder) {
            ASSERT_EQ(::mkdir(path.c_str(), 0755), 0);
        } else {
            posix_test::WriteFile(c.kind == Link ? target : path, c.contents, 0444);
            if (c.kind == Link) {
                ASSERT_EQ(::symlink(target.c_str(), path.c_str()), 0);
            }
        }
        TesselLog log;
        log.RepeatOnStandardError(true);
        CapturedStandardError captured;
        log.Open(U(path), false);
        log.Write(u"a/b");
        log.WriteLine(u" - File Not Found");
        const std::string errors = captured.Text();
        EXPECT_EQ(log.failed(), !c.removed);
        EXPECT_EQ(log.lineCount(), 1u);
        EXPECT_EQ(log.lostLineCount(), c.removed ? 0u : 1u);
        if (c.removed) {
            // Every line is repeated on standard error as well, once.
            EXPECT_TRUE(std::regex_match(errors, std::regex(std::string(kPrefix) + "a/b - File Not Found\n")))
                << errors;
            EXPECT_TRUE(
                std::regex_match(Text(Bytes(path)), std::regex(std::string(kPrefix) + "a/b - File Not Found\r\n")));
        } else {
            const std::string notice = "sumvane: the file " + path +
                                       " is not a log; it was left as it is, and this run's log lines follow here.\n";
            ASSERT_TRUE(errors.starts_with(notice)) << errors;
            EXPECT_TRUE(std::regex_match(errors.substr(notice.size()),
                                         std::regex(std::string(kPrefix) + "a/b - File Not Found\n")))
                << errors;
            if (c.kind == Folder) {
                EXPECT_TRUE(std::filesystem::is_directory(path));
            } else {
                EXPECT_EQ(Bytes(c.kind == Link ? target : path), c.contents);
            }
            if (c.kind == Link) {
                EXPECT_TRUE(std::filesystem::is_symlink(path));
            }
        }
        std::filesystem::remove_all(path);
        std::filesystem::remove_all(target);
    }
}

TEST_F(TesselLogTest, ALineThatCannotBeWrittenGoesToStandardError) {
    posix_test::WriteFile(Path("file"), "");
    const std::string unreachable = Path("file/log.txt");  // its folder is a file
    TesselLog log;
    CapturedStandardError captured;
    log.Open(U(unreachable), false);
    EXPECT_FALSE(log.failed());
    log.Write(u"x");
    log.Write(u"y");
    log.WriteLine(u"z");
    EXPECT_TRUE(log.failed());
    EXPECT_TRUE(std::regex_match(captured.Text(), std::regex(std::string(kPrefix) + "xyz\n"))) << captured.Text();
}

TEST_F(TesselLogTest, AMissingFolderIsMadeAtTheFirstLine) {
    const std::string path = Path("logs/2026/run.txt");
    TesselLog log;
    log.Open(U(path), false);
    EXPECT_FALSE(Exists(Path("logs")));  // a clean run leaves nothing behind
    log.WriteLine(u"x");
    EXPECT_TRUE(std::regex_match(Text(Bytes(path)), std::regex(std::string(kPrefix) + "x\r\n")));
    EXPECT_FALSE(log.failed());
}

TEST_F(TesselLogTest, AFileThatAppearsAfterOpenIsNeverAppendedTo) {
    const std::string path = Path("log.txt");
    TesselLog log;
    log.Open(U(path), false);
    posix_test::WriteFile(path, "someone else's");
    CapturedStandardError captured;
    log.WriteLine(u"x");
    EXPECT_EQ(Bytes(path), "someone else's");
    EXPECT_TRUE(log.failed());
    EXPECT_TRUE(std::regex_match(captured.Text(), std::regex(std::string(kPrefix) + "x\n")));
}

// A line is written whole to the log that is open when it ends.
TEST_F(TesselLogTest, ReopeningKeepsTheLinePosition) {
    const std::string first = Path("first.txt");
    const std::string second = Path("second.txt");
    TesselLog log;
    log.Open(U(first), false);
    log.Write(u"a");
    log.Open(U(second), false);
    log.WriteLine(u"b");
    EXPECT_FALSE(Exists(first));
    EXPECT_TRUE(std::regex_match(Text(Bytes(second)), std::regex(std::string(kPrefix) + "ab\r\n")));
}

TEST_F(TesselLogTest, ALineLeftUnfinishedReachesTheFileAtTheEnd) {
    const std::string path = Path("log.txt");
    {
        TesselLog log;
        log.Open(U(path), false);
        log.WriteLine(u"a");
        log.Write(u"b");
    }
    EXPECT_TRUE(std::regex_match(Text(Bytes(path)), std::regex(std::string(kPrefix) + "a\r\n" + kPrefix + "b")));
}

TEST_F(TesselLogTest, OnDesktopFromXdgDesktopDir) {
    const std::string desktop = Path("desk/top");  // missing: created
    ScopedEnv home("HOME", dir_);
    ScopedEnv xdg("XDG_DESKTOP_DIR", desktop + "/");
    EXPECT_EQ(TesselLibrary::DesktopFolder(), U(desktop));
    TesselLog log;
    log.Open(u"CData.txt", true);
    EXPECT_EQ(log.path(), U(desktop + "/CData.txt"));
    log.WriteLine(u"x");
    EXPECT_EQ(Bytes(desktop + "/CData.txt").size(), 44u + 6u);
}

TEST_F(TesselLogTest, OnDesktopFromUserDirsFile) {
    ScopedEnv home("HOME", dir_);
    ScopedEnv xdg("XDG_DESKTOP_DIR", std::nullopt);
    ScopedEnv config("XDG_CONFIG_HOME", Path("conf"));
    std::filesystem::create_directories(Path("conf"));
    {
        std::ofstream out(Path("conf/user-dirs.dirs"));
        out << "# written by xdg-user-dirs-update\n"
               "XDG_DOWNLOAD_DIR=\"$HOME/Downloads\"\n"
               "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n";
    }
    EXPECT_EQ(TesselLibrary::DesktopFolder(), U(Path("Schreibtisch")));
    TesselLog log;
    log.Open(u"l.txt", true);
    EXPECT_EQ(log.path(), U(Path("Schreibtisch/l.txt")));
}

TEST_F(TesselLogTest, OnDesktopFromTheDefaultUserDirsFile) {
    ScopedEnv home("HOME", dir_);
    ScopedEnv xdg("XDG_DESKTOP_DIR", std::nullopt);
    ScopedEnv config("XDG_CONFIG_HOME", std::nullopt);
    std::filesystem::create_directories(Path(".config"));
    {
        std::ofstream out(Path(".config/user-dirs.dirs"));
        out << "XDG_DESKTOP_DIR=\"" << Path("abs desk") << "\"\n";
    }
    EXPECT_EQ(TesselLibrary::DesktopFolder(), U(Path("abs desk")));
}

TEST_F(TesselLogTest, OnDesktopDefaultsToHomeDesktop) {
    ScopedEnv home("HOME", dir_);
    ScopedEnv xdg("XDG_DESKTOP_DIR", std::nullopt);
    ScopedEnv config("XDG_CONFIG_HOME", Path("no-config"));
    const mode_t mask = ::umask(002);
    EXPECT_EQ(TesselLibrary::DesktopFolder(), U(Path("Desktop")));
    ::umask(mask);
    struct stat st;
    ASSERT_EQ(::stat(Path("Desktop").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0775u) << "made as mkdir -p makes it: 0777 less the umask";
    TesselLog log;
    log.Open(u"l.txt", true);
    EXPECT_EQ(log.path(), U(Path("Desktop/l.txt")));
}

TEST_F(TesselLogTest, WithoutADesktopTheLogGoesToTheTempFolder) {
    ScopedEnv home("HOME", std::nullopt);
    ScopedEnv xdg("XDG_DESKTOP_DIR", std::nullopt);
    ScopedEnv config("XDG_CONFIG_HOME", std::nullopt);
    ScopedEnv tmp("TMPDIR", dir_);
    EXPECT_EQ(TesselLibrary::DesktopFolder(), u"");
    TesselLog log;
    log.Open(u"t.txt", true);
    EXPECT_EQ(log.path(), U(dir_ + "/t.txt"));  // one separator, though the temp folder ends in one
    log.WriteLine(u"");
    EXPECT_EQ(Bytes(Path("t.txt")).size(), 48u);
}

TEST_F(TesselLogTest, UncreatableDesktopGivesNoDesktop) {
    { std::ofstream out(Path("file")); }
    ScopedEnv home("HOME", dir_);
    ScopedEnv xdg("XDG_DESKTOP_DIR", Path("file/Desktop"));
    EXPECT_EQ(TesselLibrary::DesktopFolder(), u"");
}

TEST(LogLinePrefixTest, Table) {
    struct Case {
        TesselDateTime when;
        const char16_t* expected;
    };
    const Case cases[] = {
        {{2024, 3, 7, 9, 5, 1}, u"[2024-03-07 09:05:01] "},    {{1999, 12, 31, 23, 59, 59}, u"[1999-12-31 23:59:59] "},
        {{987, 1, 2, 0, 0, 0}, u"[0987-01-02 00:00:00] "},     {{2000, 10, 10, 10, 10, 10}, u"[2000-10-10 10:10:10] "},
        {{12345, 6, 7, 8, 9, 10}, u"[12345-06-07 08:09:10] "},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TesselLibrary::LogLinePrefix(c.when), c.expected);
        // What is written is read back as it was, the day alone as it starts.
        const std::u16string text = TesselLibrary::DateTimeText(c.when);
        EXPECT_EQ(TesselLibrary::DateTimeOfText(text), c.when) << TesselLibrary::ToSystemBytes(text);
        EXPECT_TRUE(text.starts_with(TesselLibrary::DateText(c.when) + u" "));
    }
    EXPECT_EQ(TesselLibrary::LogLinePrefix({2024, 3, 7, 9, 5, 1}).size(), 22u);
    // Nothing else reads as a date: a digit short or over, another mark, a
    // sign, a space around it.
    for (const char16_t* text : {u"", u"2024-03-07", u"2024-03-07 09:05", u"2024-3-07 09:05:01", u"987-01-02 00:00:00",
                                 u"2024-03-07 09:05:011", u"2024-03-07T09:05:01", u"2024-03-07 09:05:01 ",
                                 u" 2024-03-07 09:05:01", u"2024-+3-07 09:05:01", u"2024-03-07 09:05:01\r"})
        EXPECT_FALSE(TesselLibrary::DateTimeOfText(text)) << TesselLibrary::ToSystemBytes(text);
}

TEST(LocalDateTimeTest, IsPlausible) {
    const TesselDateTime now = TesselLibrary::LocalDateTime();
    EXPECT_GE(now.year, 2024);
    EXPECT_GE(now.month, 1);
    EXPECT_LE(now.month, 12);
    EXPECT_GE(now.day, 1);
    EXPECT_LE(now.day, 31);
    EXPECT_GE(now.hour, 0);
    EXPECT_LE(now.hour, 23);
    EXPECT_GE(now.minute, 0);
    EXPECT_LE(now.minute, 59);
    EXPECT_GE(now.second, 0);
    EXPECT_LE(now.second, 59);
}

}  // namespace

#endif  // _WIN32
