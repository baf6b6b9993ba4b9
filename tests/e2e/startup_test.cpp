// What a run does before its banner: the help, the log's place, the
// clipboard action and the context-menu entry.
#include <unistd.h>

#include <gtest/gtest.h>

#include <map>
#include <regex>

#include <sys/stat.h>

#include "harness.h"
#include "platform_words.h"

using namespace e2e;

namespace {

const std::string kHelloDigest = "B1946AC92492D2347C6235B4D2611184";  // "hello\n"

// A file on the desktop as the program names it: under Wine the desktop is
// C:\users\<user>\Desktop, on the prefix's drive C:, not in the Z: form.
std::string DesktopSpelling(const fs::path& file) {
    const std::string text = Native(file);
    const std::string driveC = "\\drive_c\\";
    const auto at = text.find(driveC);
    return WineMode() && at != std::string::npos ? "C:" + text.substr(at + driveC.size() - 1) : text;
}

TEST(Help, NoOptionsShowsTheHelpAndWaitsForOkBeforeTheBanner) {
    if (WineMode()) GTEST_SKIP() << "the Windows help window and message box are checked by the Windows cases";
    Sandbox box;
    WriteFile(box.desktop() / "Sumvane.txt", std::string("[\0o\0l\0d\0", 8));  // a log of an earlier run
    for (const std::vector<std::string>& args : {std::vector<std::string>{}, {"-h"}, {"-h", "-q"}}) {
        const RunResult r = box.Run(args, std::nullopt, {}, /*mergeErrors=*/true);
        EXPECT_EQ(r.exitCode, 0);
        // Without a graphical session the help's text goes to standard
        // error, then the message line, and only then the banner.
        const std::string tail = "Sumvane: Click OK to Exit\n" + Banner();
        ASSERT_TRUE(r.out.ends_with(tail)) << r.out.substr(r.out.size() > 400 ? r.out.size() - 400 : 0);
        EXPECT_NE(r.out.find("-vc"), std::string::npos);
        EXPECT_NE(r.out.find("https://sumvane.brackenfold.example"), r.out.size() - tail.size());
        // Every element of the help has an end tag ("<Folder>" names a value).
        EXPECT_EQ(r.out.find("</"), std::string::npos) << "plain text, not markup";
    }
    // The old log is gone and no new one was made; the page was written out.
    EXPECT_FALSE(fs::exists(box.desktop() / "Sumvane.txt"));
    EXPECT_EQ(ReadFile(box.tmp() / "Sumvane.html"), ReadFile(SUMVANE_HELP_PAGE_FILE));
}

TEST(Help, GraphicalSessionOpensThePageWithoutWaiting) {
    if (WineMode()) GTEST_SKIP() << "xdg-open is the Linux viewer";
    Sandbox box;
    // A stand-in for xdg-open that records what it was asked to open.
    const fs::path bin = box.root() / "bin";
    WriteFile(bin / "xdg-open", "#!/bin/sh\nprintf '%s' \"$1\" > \"" + (box.root() / "opened").string() + "\"\n");
    fs::permissions(bin / "xdg-open", fs::perms::owner_all);
    // No notifier on the path: the message box is a line on standard error.
    const RunResult r = box.Run({}, std::nullopt, {{"DISPLAY", ":99"}, {"PATH", bin.string()}});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "Sumvane: Click OK to Exit\n");
    EXPECT_EQ(r.out, Banner());
    // The viewer is not waited for; give it a moment to write its record
    // (the file exists before its text is in it).
    const std::string page = (box.tmp() / "Sumvane.html").string();
    for (int i = 0; i < 100 && ReadFile(box.root() / "opened") != page; ++i) ::usleep(50000);
    EXPECT_EQ(ReadFile(box.root() / "opened"), page);
}

// What a Linux user types first: the answer on standard output, and nothing
// else done, whatever else the command line holds.
TEST(Help, HelpAndVersionAnswerOnStandardOutputAndDoNothingElse) {
    if (WineMode()) GTEST_SKIP() << "long options are a Linux convention";
    Sandbox box;
    const std::string oldLog("[\0o\0l\0d\0", 8);
    WriteFile(box.desktop() / "Sumvane.txt", oldLog);
    WriteFile(box.work() / "data" / "a.txt", "a");
    const std::string help = ReadFile(SUMVANE_HELP_TEXT_FILE).value_or("<no help text>");
    const std::string version = "Sumvane v1.3.1.1\n";
    const struct Case {
        std::vector<std::string> args;
        std::string out;
    } cases[] = {
        {{"--help"}, help},
        {{"--version"}, version},
        {{"-f", "data", "-r", "-c", "--version", "-i"}, version},
        {{"--help", "--version"}, help},
    };
    for (const Case& c : cases) {
        const RunResult r = box.Run(c.args);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, "");
    }
    EXPECT_EQ(ReadFile(box.desktop() / "Sumvane.txt"), oldLog);
    EXPECT_FALSE(fs::exists(box.work() / "data" / "Sumvane.md5"));
    EXPECT_FALSE(fs::exists(box.tmp() / "Sumvane.html"));
    EXPECT_FALSE(fs::exists(box.home() / ".local"));
}

// The help of the Linux program speaks of Linux alone: the page a desktop
// opens, the terminal's text and the manual page name nothing of Windows,
// and the page (which the other two are made from) leaves no sentence broken
// where the Windows words were taken out.
TEST(Help, TheLinuxHelpNamesNothingOfWindows) {
    if (WineMode()) GTEST_SKIP() << "the Windows help is checked by the Windows cases";
    const std::string man = SUMVANE_MAN_PAGE_FILE;
    std::vector<std::pair<std::string, std::string>> documents = {{"help page", SUMVANE_HELP_PAGE_FILE},
                                                                  {"help text", SUMVANE_HELP_TEXT_FILE}};
    if (!man.empty()) documents.emplace_back("manual page", man);
    for (const auto& [what, path] : documents) {
        const std::optional<std::string> text = ReadFile(path);
        ASSERT_TRUE(text.has_value()) << path;
        EXPECT_EQ(WordsIn(*text, kWindowsOnlyWords), std::vector<std::string>{}) << what;
        if (what == "help page") {
            EXPECT_EQ(BrokenSentences(*text), std::vector<std::string>{}) << what;
        }
        // What a Linux user needs is there.
        for (const char* word : {"sumvane -f/srv/photos", "crontab", "notify-send", "KDE"})
            EXPECT_NE(text->find(word), std::string::npos) << what << " lacks " << word;
    }
}

TEST(Log, PlacedOnTheDesktopOrInTheOutputFolderAndNamedAfterTheFolder) {
    Sandbox box;
    const fs::path missing = box.work() / "missing.txt";
    struct Case {
        std::vector<std::string> args;
        fs::path log;
        std::string line;
    };
    const fs::path data = box.work() / "da:ta";
    fs::create_directories(data);
    std::string logName = Native(data);
    std::erase_if(logName, [](char c) { return c == '/' || c == '\\' || c == ':'; });
    const Case cases[] = {
        {{"-n" + Native(missing), "-c"}, box.desktop() / "Sumvane.txt", Native(missing) + " - File Not Found"},
        {{"-n" + Native(missing), "-o" + Native(box.root() / "logs")},
         box.root() / "logs" / "Sumvane.txt",
         Native(missing) + " - File Not Found"},
        {{"-n" + Native(missing), "-o" + Native(box.root() / "logs") + Sep()},
         box.root() / "logs" / "Sumvane.txt",
         Native(missing) + " - File Not Found"},
        {{"-f" + Native(data), "-v"},
         box.desktop() / (logName + ".txt"),
         Native(data) + Sep() + "Sumvane.md5 - Missing Data"},
        {{"-f" + Native(data), "-v", "-o" + Native(box.root() / "logs")},
         box.root() / "logs" / (logName + ".txt"),
         Native(data) + Sep() + "Sumvane.md5 - Missing Data"},
        // Values apart from their options.
        {{"-n", Native(missing), "-o", Native(box.root() / "logs")},
         box.root() / "logs" / "Sumvane.txt",
         Native(missing) + " - File Not Found"},
        {{"-v", "-f", Native(data), "-o", Native(box.root() / "logs")},
         box.root() / "logs" / (logName + ".txt"),
         Native(data) + Sep() + "Sumvane.md5 - Missing Data"},
        // A missing output folder is made, parents and all.
        {{"-n" + Native(missing), "-o" + Native(box.root() / "made" / "here")},
         box.root() / "made" / "here" / "Sumvane.txt",
         Native(missing) + " - File Not Found"},
    };
    fs::create_directories(box.root() / "logs");
    const mode_t mask = ::umask(002);  // the runs inherit it
    for (const Case& c : cases) {
        const RunResult r = box.Run(c.args);
        EXPECT_EQ(r.out, Banner());
        EXPECT_EQ(LogLines(c.log), std::vector<std::string>{c.line}) << c.log;
        fs::remove(c.log);
    }
    ::umask(mask);
    EXPECT_TRUE(fs::is_empty(box.root() / "logs"));
    if (!WineMode()) {
        // Made as mkdir -p makes them: 0777 less the umask.
        for (const fs::path& made : {box.root() / "made", box.root() / "made" / "here"})
            EXPECT_EQ(fs::status(made).permissions(), fs::perms(0775)) << made;
    }
}

TEST(Log, EveryRunStartsAFreshLogAndAReadOnlyOldLogIsReplaced) {
    Sandbox box;
    const fs::path log = box.desktop() / "Sumvane.txt";
    WriteFile(log, std::string("[\0x\0", 4));
    fs::permissions(log, fs::perms::owner_read);
    const fs::path missing = box.work() / "gone.bin";
    box.Run({"-n" + Native(missing)});
    EXPECT_EQ(LogLines(log), std::vector<std::string>{Native(missing) + " - File Not Found"});
    // A clean run leaves no log at all.
    WriteFile(box.work() / "a.txt", "hello\n");
    EXPECT_EQ(box.Run({"-n" + Native(box.work() / "a.txt"), "-c"}).exitCode, 0);
    EXPECT_FALSE(fs::exists(log));
}

// The log's name comes from the folder's name, so the file at its path may
// be the user's own: it is left as it is, and the report goes to standard
// error instead.
TEST(Log, AUsersFileOfTheSameNameIsLeftAlone) {
    Sandbox box;
    WriteFile(box.work() / "Photos" / "a.jpg", "a");
    const fs::path own = box.desktop() / "Photos.txt";
    WriteFile(own, "my list of photos");
    const std::string notice = std::string(WineMode() ? "Sumvane.exe" : "sumvane") + ": the file " +
                               DesktopSpelling(own) +
                               " is not a log; it was left as it is, and this run's log lines "
                               "follow here.";

    RunResult r = box.Run({"-fPhotos", "-c"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.err.find(notice), std::string::npos) << r.err;
    const WriteTime read = WriteTimeOf(box.work() / "Photos" / "a.jpg");
    WriteFile(box.work() / "Photos" / "a.jpg", "b");
    SetWriteTime(box.work() / "Photos" / "a.jpg", read);  // damaged: its date as it was read
    r = box.Run({"-fPhotos", "-v"});
    EXPECT_EQ(r.exitCode, 1);
    const std::string line = "Photos" + Sep() + "a.jpg - MD5 Mismatch (" + Md5Of("a") + " - " + Md5Of("b") + ")";
    EXPECT_NE(r.err.find(notice), std::string::npos) << r.err;
    const std::size_t at = r.err.find("] " + line);
    EXPECT_NE(at, std::string::npos) << r.err;
    if (!WineMode()) {
        // Once, though every line goes to standard error anyway on Linux.
        EXPECT_EQ(r.err.find("] " + line, at + 1), std::string::npos) << r.err;
        EXPECT_TRUE(r.err.ends_with("sumvane: 1 problem (1 damaged); log: " + own.string() + " (not written there)\n"))
            << r.err;
    }
    EXPECT_EQ(ReadFile(own), "my list of photos");
    fs::remove(own);  // under Wine every run shares the desktop
}

// A report that cannot reach its log goes to standard error, line for line,
// and the run fails; an old log is never continued as if its lines were new.
TEST(Log, WhatCannotBeLoggedGoesToStandardError) {
    if (WineMode()) GTEST_SKIP() << "POSIX permissions";
    Sandbox box;
    if (const std::string why = box.unprivilegedUnavailable(); !why.empty()) GTEST_SKIP() << why;
    const fs::path logs = box.root() / "logs";  // the user may not write here
    fs::create_directories(logs);
    const fs::path missing = box.work() / "gone.txt";
    if (::geteuid() == 0) {
        GiveToUnprivileged(box.root());
        ASSERT_EQ(::lchown(logs.c_str(), 0, 0), 0);
    }
    fs::permissions(logs, fs::perms::owner_write, fs::perm_options::remove);
    RunOptions asUser;
    asUser.unprivileged = true;
    const std::string line = Native(missing) + " - File Not Found\n";
    const std::string closing =
        "sumvane: 1 problem (1 missing); log: " + Native(logs / "Sumvane.txt") + " (not written there)\n";
    const std::regex stamp(R"(\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\] )");

    RunResult r = box.Run({"-n" + Native(missing), "-o" + Native(logs)}, asUser);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(std::regex_replace(r.err, stamp, "[stamp] "), "[stamp] " + line + closing);
    EXPECT_TRUE(fs::is_empty(logs));

    // An old log there cannot be removed.
    const std::string old("[\0o\0l\0d\0\r\0\n\0", 12);
    fs::permissions(logs, fs::perms::owner_write, fs::perm_options::add);
    WriteFile(logs / "Sumvane.txt", old);
    fs::permissions(logs, fs::perms::owner_write, fs::perm_options::remove);
    r = box.Run({"-n" + Native(missing), "-o" + Native(logs)}, asUser);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(std::regex_replace(r.err, stamp, "[stamp] "), "sumvane: the old log " + Native(logs / "Sumvane.txt") +
                                                                " could not be removed; this run's log lines follow "
                                                                "here.\n[stamp] " +
                                                                line + closing);
    EXPECT_EQ(ReadFile(logs / "Sumvane.txt"), old);
}

TEST(Clipboard, DigestIsShownAndAnOldLogIsLeftAlone) {
    Sandbox box;
    WriteFile(box.work() / "a.txt", "hello\n");
    // Before anything is written: under Wine every run shares the desktop.
    if (WineMode()) GTEST_SKIP() << "the Windows message boxes wait for a click; the Windows cases dismiss them";
    const std::string oldLog("o\0l\0d\0", 6);
    WriteFile(box.desktop() / "Sumvane.txt", oldLog);

    RunResult r = box.Run({"-z" + Native(box.work() / "a.txt")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, Banner());
    EXPECT_EQ(r.err, "Compute MD5 Hash: a.txt: " + kHelloDigest + "\n") << "the file named, then its digits";

    // A missing file, and -z with no file at all, give the error box, and
    // the run did not do what was asked.
    for (const std::string& arg : {"-z" + Native(box.work() / "missing.txt"), std::string("-z")}) {
        r = box.Run({arg});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, "Compute MD5 Hash:  - Error computing MD5\n");
        EXPECT_EQ(r.out, Banner());
    }
    EXPECT_EQ(ReadFile(box.desktop() / "Sumvane.txt"), oldLog);
    EXPECT_FALSE(fs::exists(box.work() / "a.txt.md5"));
}

TEST(Clipboard, TheDigitsReachTheClipboardTool) {
    if (WineMode()) GTEST_SKIP() << "the Windows clipboard is checked by the Windows cases";
    Sandbox box;
    WriteFile(box.work() / "a.txt", "hello\n");
    const fs::path bin = box.root() / "bin";
    WriteFile(bin / "xclip", "#!/bin/sh\necho \"$@\" > \"" + (box.root() / "args").string() + "\"\n/bin/cat > \"" +
                                 (box.root() / "clip").string() + "\"\n");
    fs::permissions(bin / "xclip", fs::perms::owner_all);
    const RunResult r =
        box.Run({"-z" + Native(box.work() / "a.txt")}, std::nullopt, {{"DISPLAY", ":99"}, {"PATH", bin.string()}});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "Compute MD5 Hash: a.txt: " + kHelloDigest + "\n") << "the file named, then its digits";
    EXPECT_EQ(ReadFile(box.root() / "clip"), kHelloDigest);
    EXPECT_EQ(ReadFile(box.root() / "args"), "-selection clipboard -in\n");
}

// Chosen in a file manager, -z runs without a terminal: its message box is
// shown on the desktop by the first notifier or dialog tool that starts, and
// not waited for. Each stand-in records its arguments.
TEST(Clipboard, WithoutATerminalTheBoxIsShownOnTheDesktop) {
    if (WineMode()) GTEST_SKIP() << "Windows shows a real message box";
    Sandbox box;
    WriteFile(box.work() / "a.txt", "hello\n");
    const fs::path bin = box.root() / "bin";
    const auto addTool = [&](const std::string& name, bool works) {
        const fs::path record = box.root() / ("record-" + name);
        WriteFile(bin / name, works
                                  ? "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"" + record.string() + ".part\"\n/bin/mv \"" +
                                        record.string() + ".part\" \"" + record.string() + "\"\n"
                                  : std::string("\x7f"
                                                "ELF not really",
                                                16));
        fs::permissions(bin / name, fs::perms::owner_all);
    };
    const std::string file = Native(box.work() / "a.txt");
    const std::string missing = Native(box.work() / "missing.txt");
    const std::string errorLine = "Compute MD5 Hash:  - Error computing MD5\n";
    const struct Case {
        const char* what;
        std::vector<std::string> working, broken;
        std::map<std::string, std::string> session;
        std::string target;
        bool terminal;
        std::string shownBy;  // "": on standard error
        std::string arguments;
    } cases[] = {
        {"notifier first",
         {"notify-send", "zenity", "kdialog"},
         {},
         {{"DISPLAY", ":99"}},
         file,
         false,
         "notify-send",
         "--icon=dialog-information\nCompute MD5 Hash\na.txt: " + kHelloDigest + "\n"},
        {"the error through zenity",
         {"zenity", "kdialog"},
         {},
         {{"WAYLAND_DISPLAY", "wayland-0"}},
         missing,
         false,
         "zenity",
         "--error\n--title=Compute MD5 Hash\n--text= - Error computing MD5\n--no-markup\n"},
        {"kdialog when the others cannot start",
         {"kdialog"},
         {"notify-send", "zenity"},
         {{"DISPLAY", ":99"}},
         file,
         false,
         "kdialog",
         "--title\nCompute MD5 Hash\n--msgbox\na.txt: " + kHelloDigest + "\n"},
        {"the notifier's error icon",
         {"notify-send"},
         {},
         {{"DISPLAY", ":99"}},
         missing,
         false,
         "notify-send",
         "--icon=dialog-error\nCompute MD5 Hash\n - Error computing MD5\n"},
        {"no tool", {}, {"notify-send"}, {{"DISPLAY", ":99"}}, missing, false, "", errorLine},
        {"no graphical session", {"notify-send"}, {}, {}, missing, false, "", errorLine},
        {"standard error on a terminal", {"notify-send"}, {}, {{"DISPLAY", ":99"}}, missing, true, "", errorLine},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(bin);
        for (const std::string& tool : c.working) addTool(tool, true);
        for (const std::string& tool : c.broken) addTool(tool, false);
        std::map<std::string, std::string> env = c.session;
        env["PATH"] = bin.string();
        const RunResult r =
            c.terminal ? box.RunOnTerminal({"-z" + c.target}, env) : box.Run({"-z" + c.target}, std::nullopt, env);
        EXPECT_EQ(r.exitCode, c.target == file ? 0 : 1);
        EXPECT_EQ(r.out, Banner());
        // The tool is not waited for; give it a moment to leave its record.
        const fs::path record = box.root() / ("record-" + c.shownBy);
        for (int i = 0; i < 100 && !c.shownBy.empty() && !fs::exists(record); ++i) ::usleep(50000);
        if (c.shownBy.empty()) {
            // The terminal turns the line feed into CR LF.
            EXPECT_EQ(r.err, c.terminal ? errorLine.substr(0, errorLine.size() - 1) + "\r\n" : c.arguments);
        } else {
            EXPECT_EQ(r.err, "");
            EXPECT_EQ(ReadFile(record), c.arguments);
            fs::remove(record);
        }
        for (const std::string& tool : c.working) EXPECT_FALSE(fs::exists(box.root() / ("record-" + tool))) << tool;
    }
}

TEST(ContextMenu, InstallRewriteAndRemove) {
    if (WineMode()) GTEST_SKIP() << "the Windows verb lives in the registry; the Windows cases read it back";
    Sandbox box;
    const fs::path share = box.home() / ".local" / "share";
    const fs::path menu = share / "kio" / "servicemenus" / "sumvane.desktop";
    const fs::path script = share / "nautilus" / "scripts" / "Sumvane";
    const std::string program = ProgramPath().string();
    const std::string expectedMenu =
        "[Desktop Entry]\nType=Service\nX-KDE-ServiceTypes=KonqPopupMenu/Plugin\nMimeType=all/allfiles;\n"
        "Actions=sumvane;\n\n[Desktop Action sumvane]\nName=Sumvane\nExec=\"" +
        program + "\" \"-z%f\"\n";
    const std::string expectedScript = "#!/bin/sh\nexec \"" + program + "\" \"-z$1\"\n";

    const auto installed = [&] {
        return ReadFile(menu) == expectedMenu && ReadFile(script) == expectedScript &&
               (fs::status(script).permissions() & fs::perms::owner_exec) != fs::perms::none;
    };
    RunResult r = box.Run({"-i"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, Banner());
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(installed());

    WriteFile(menu, "stale");
    EXPECT_EQ(box.Run({"-i"}).exitCode, 0);
    EXPECT_TRUE(installed()) << "a second -i rewrites the entry";

    r = box.Run({"-u"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_FALSE(fs::exists(menu));
    EXPECT_FALSE(fs::exists(script));

    r = box.Run({"-u"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "") << "removing what is not there reports nothing";

    r = box.Run({"-i", "-u"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_FALSE(fs::exists(menu));
    EXPECT_FALSE(fs::exists(script));
    // The menu folders stay, empty; nothing else was written under the home.
    EXPECT_TRUE(fs::is_empty(menu.parent_path()));
    EXPECT_TRUE(fs::is_empty(script.parent_path()));
}

}  // namespace
