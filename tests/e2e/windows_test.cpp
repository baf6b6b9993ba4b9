// End-to-end cases that only the Windows program has: message boxes, the
// registry verb, the clipboard, the help window, the progress dialog as
// read from its window, a file over 4 GiB, a file in use by another
// process, reparse points, and the same tree giving the same summary and
// log as the Linux build. They run when the suite drives Sumvane.exe under
// Wine (tests/wine/run-suite.sh; the 32-bit build where the machine runs
// 32-bit programs, else the 64-bit one) and skip, saying so, everywhere
// else.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "harness.h"
#include "platform_words.h"

extern char** environ;

namespace e2e {
namespace {

constexpr const char* kNotUnderWine = "a Windows-only case: runs when the suite drives Sumvane.exe under Wine";
// The same program built for the window subsystem, as Task Scheduler and the
// context menu start it.
constexpr const char* kWindowProgram = "SumvaneW.exe";

std::string EnvOr(const char* name, const std::string& fallback = "") {
    const char* value = std::getenv(name);
    return value && *value ? value : fallback;
}

// Where a screenshot named `name` goes: in the folder SUMVANE_SCREENSHOTS
// names; "" when none is asked for.
std::string Screenshot(const std::string& name) {
    const std::string folder = EnvOr("SUMVANE_SCREENSHOTS");
    return folder.empty() ? "" : (fs::path(folder) / name).string();
}

// The whole screen into `file`; "" when it worked, else what went wrong.
std::string TakeScreenshot(const std::string& file);

// A helper program of these cases (tests/wine), built beside the program's
// own unit tests.
std::string Helper(const char* name) { return (ProgramPath().parent_path() / "tests" / name).string(); }

// Runs a command line of the test machine (xdotool, xclip, wine reg, md5sum)
// and returns its standard output; `status` gets the exit status.
std::string Capture(const std::vector<std::string>& argv, int* status = nullptr) {
    // Close-on-exec: the program under test is started from another thread
    // meanwhile and must not inherit the write end, or this read would wait
    // for that program to end.
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    std::vector<char*> args;
    std::vector<std::string> copy = argv;
    for (auto& a : copy) args.push_back(a.data());
    args.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = ::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    std::string out;
    if (spawned == 0) {
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0) out.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(pipeFds[0]);
    int raw = -1;
    if (spawned == 0) ::waitpid(pid, &raw, 0);
    if (status) *status = spawned == 0 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return out;
}

std::string TakeScreenshot(const std::string& file) {
    int status = -1;
    Capture({"import", "-window", "root", file}, &status);
    return status == 0 && fs::exists(file) && fs::file_size(file) > 0 ? "" : "import failed";
}

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    return text;
}

// A process started in the background and waited for (or killed) at the end.
class Background {
public:
    explicit Background(const std::vector<std::string>& argv) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        std::vector<std::string> copy = argv;
        std::vector<char*> args;
        for (auto& a : copy) args.push_back(a.data());
        args.push_back(nullptr);
        if (::posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Background() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    Background(const Background&) = delete;
    Background& operator=(const Background&) = delete;
    bool started() const { return pid_ > 0; }
    // The exit status, or -1 when it had to be killed after `seconds`.
    int Wait(int seconds) {
        for (int tick = 0; tick < seconds * 10 && pid_ > 0; ++tick) {
            int raw = 0;
            if (::waitpid(pid_, &raw, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return -1;
    }

private:
    pid_t pid_ = -1;
};

// The temporary files of replacements in `folder`.
std::vector<std::string> TemporaryFilesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(".sumvane-", 0) == 0) names.push_back(name);
    }
    return names;
}

bool WaitFor(const fs::path& path, int seconds) {
    for (int tick = 0; tick < seconds * 10; ++tick) {
        if (fs::exists(path)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

// A large file that costs nothing on disk: hashing its zeros keeps the
// program busy for a few seconds.
void WriteSparseFile(const fs::path& path, std::uintmax_t size) {
    WriteFile(path, "");
    fs::resize_file(path, size);
}

// Whether some process has `path` open (Wine's server or the program).
bool OpenedByAnyProcess(const fs::path& path) {
    std::error_code ignored;
    for (const auto& process : fs::directory_iterator("/proc", ignored)) {
        for (const auto& fd : fs::directory_iterator(process.path() / "fd", ignored)) {
            if (fs::read_symlink(fd.path(), ignored) == path) return true;
        }
    }
    return false;
}

// Whether the unix process `pid` belongs to the sandbox (its HOME).
bool OwnedBy(const std::string& pid, const Sandbox& box) {
    std::ifstream in("/proc/" + pid + "/environ", std::ios::binary);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return all.find(std::string("HOME=") + box.home().string() + '\0') != std::string::npos;
}

// The unix processes of Sumvane.exe runs in this sandbox.
std::vector<pid_t> ProgramProcesses(const Sandbox& box) {
    std::vector<pid_t> found;
    std::error_code ignored;
    for (const auto& process : fs::directory_iterator("/proc", ignored)) {
        const std::string pid = process.path().filename().string();
        if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream in(process.path() / "cmdline", std::ios::binary);
        const std::string command((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (command.find("Sumvane.exe") != std::string::npos && OwnedBy(pid, box))
            found.push_back(static_cast<pid_t>(std::stol(pid)));
    }
    return found;
}

struct Window {
    std::string id;
    int width = 0;
    int height = 0;
};

// The X windows titled exactly `caption` that belong to this sandbox's run
// (by process: a title alone could match a window of an earlier run).
std::vector<Window> WindowsTitled(const std::string& caption, const Sandbox& box) {
    std::vector<Window> found;
    std::istringstream ids(Capture({"xdotool", "search", "--name", "^" + caption + "$"}));
    for (std::string id; std::getline(ids, id);) {
        const std::string pid = Trimmed(Capture({"xdotool", "getwindowpid", id}));
        if (pid.empty() || !OwnedBy(pid, box)) continue;
        Window window;
        window.id = id;
        std::istringstream geometry(Capture({"xdotool", "getwindowgeometry", "--shell", id}));
        for (std::string line; std::getline(geometry, line);) {
            if (line.rfind("WIDTH=", 0) == 0) window.width = std::atoi(line.c_str() + 6);
            if (line.rfind("HEIGHT=", 0) == 0) window.height = std::atoi(line.c_str() + 7);
        }
        found.push_back(window);
    }
    return found;
}

// Watches for message boxes while the program runs: waits until at least
// `minimum` windows titled `caption` are up, lets `seen` look at them, then
// clicks OK on the message box among them, as a user would.
class BoxDismisser {
public:
    using Look = std::function<void(const std::vector<Window>&)>;
    BoxDismisser(const Sandbox& box, std::string caption, Look seen = {}, std::size_t minimum = 1)
        : thread_([this, &box, caption, seen, minimum] {
              // Let `seen` look at the windows once they are all up (as X
              // shows them)...
              for (int tick = 0; tick < 150 && !stop_; ++tick) {
                  const std::vector<Window> windows = WindowsTitled(caption, box);
                  if (windows.size() >= minimum) {
                      if (seen) seen(windows);
                      break;
                  }
                  std::this_thread::sleep_for(std::chrono::milliseconds(100));
              }
              // ...then click OK through the box's own window messages; the
              // helper waits for the box to exist.
              if (stop_) {
                  report_ = "the program ended before OK was clicked";
                  return;
              }
              int status = -1;
              const std::string all = Trimmed(Capture({WineLoader(), Helper("press_ok.exe"), caption}, &status));
              said_ = Trimmed(all.substr(0, all.find('\n')));
              if (const std::size_t text = all.find("\ntext: "); text != std::string::npos)
                  text_ = Trimmed(all.substr(text + 7));
              clicked_ = status == 0;
              report_ = "press_ok.exe exited with " + std::to_string(status) + "; it said: " + all;
          }) {}
    ~BoxDismisser() { Finish(); }
    BoxDismisser(const BoxDismisser&) = delete;
    BoxDismisser& operator=(const BoxDismisser&) = delete;

    // Call once the program has ended. The click may still be on its way
    // back (the helper outlives the box it closed), so this waits for it.
    bool Finish() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        return clicked_;
    }
    // What happened, for a failure message; valid after Finish.
    const std::string& report() const { return report_; }
    // How the box stood when it was clicked ("topmost foreground" and the
    // like); valid after Finish.
    const std::string& said() const { return said_; }
    // The box's text, each line break shown as "|"; valid after Finish.
    const std::string& text() const { return text_; }

private:
    std::atomic<bool> stop_{false};
    bool clicked_ = false;
    std::string report_;
    std::string said_;
    std::string text_;
    std::thread thread_;  // last: it starts using the members above at once
};

class WindowsTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!WineMode()) GTEST_SKIP() << kNotUnderWine;
    }
    // A folder whose build takes long (a large sparse file beside a small
    // one) and its old summary: what a stopped build must leave as it was.
    struct LongBuild {
        fs::path tree;
        std::string oldSummary;
    };
    LongBuild MakeLongBuild(std::uint64_t bigBytes) {
        const fs::path tree = box_.work() / "tree";
        WriteFile(tree / "a.txt", "a");
        WriteSparseFile(tree / "big.bin", bigBytes);
        const std::string old = Md5Of("old") + " " + Native(tree / "old.txt") + "\r\n";
        WriteFile(tree / "Sumvane.md5", old);
        return {tree, old};
    }
    // Its temporary file is deleted as its last handle closes, and Wine's
    // server closes the handles of an ended process a moment after it is
    // gone.
    static void ExpectNoTemporaryFileSoon(const fs::path& tree) {
        for (int tick = 0; tick < 50 && !TemporaryFilesIn(tree).empty(); ++tick)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_EQ(TemporaryFilesIn(tree), std::vector<std::string>{});
    }
    Sandbox box_;
};

// The cases that wait for a message box and dismiss it, as a user would.
class WindowsGuiTest : public WindowsTest {};

TEST_F(WindowsGuiTest, HashToClipboardShowsTheDigitsInABoxAndLeavesThemOnTheClipboard) {
    const fs::path file = box_.work() / "photo.jpg";
    WriteFile(file, "the bytes of a photo");
    std::string clipboard;
    const std::string screenshot = Screenshot("hash-to-clipboard-box.png");
    std::string shot;
    RunResult result;
    {
        BoxDismisser dismiss(box_, "Compute MD5 Hash", [&](const std::vector<Window>&) {
            // The program holds the clipboard while its box is up.
            clipboard = Capture({"xclip", "-o", "-selection", "clipboard"});
            if (!screenshot.empty()) shot = TakeScreenshot(screenshot);
        });
        result = box_.Run({"-z" + Native(file)});
        EXPECT_TRUE(dismiss.Finish()) << dismiss.report();
        // Brought forward, but not kept above the user's other windows.
        EXPECT_EQ(dismiss.said(), "not topmost foreground");
        EXPECT_EQ(dismiss.text(), "photo.jpg|" + Md5Of("the bytes of a photo")) << "the file's name, then its digits";
    }
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, Banner());
    EXPECT_EQ(clipboard, Md5Of("the bytes of a photo")) << "32 upper-case digits, nothing added";
    if (!screenshot.empty()) {
        EXPECT_EQ(shot, "") << screenshot;
    }
}

TEST_F(WindowsGuiTest, HashToClipboardOfAMissingFileShowsTheErrorBox) {
    // Under Wine every run shares the prefix's desktop: start without a log there.
    const fs::path log = box_.desktop() / "Sumvane.txt";
    fs::remove(log);
    RunResult result;
    {
        BoxDismisser dismiss(box_, "Compute MD5 Hash");
        result = box_.Run({"-z" + Native(box_.work() / "missing.txt")});
        EXPECT_TRUE(dismiss.Finish()) << dismiss.report();
    }
    EXPECT_EQ(result.out, Banner());
    EXPECT_FALSE(fs::exists(log)) << "the clipboard run opens no log";
}

TEST_F(WindowsGuiTest, NoOptionsShowsTheHelpWindowAndWaitsForOk) {
    std::size_t windowsSeen = 0;
    int largestWidth = 0;
    RunResult result;
    {
        // The viewer's window and the "Click OK to Exit" box are both titled Sumvane.
        BoxDismisser dismiss(
            box_, "Sumvane",
            [&](const std::vector<Window>& windows) {
                windowsSeen = windows.size();
                for (const Window& w : windows) largestWidth = std::max(largestWidth, w.width);
            },
            2);
        result = box_.Run({});
        EXPECT_TRUE(dismiss.Finish()) << dismiss.report();
        // One click on the help window must not hide the box the process waits on.
        EXPECT_EQ(dismiss.said(), "topmost foreground");
    }
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, Banner());
    EXPECT_GE(windowsSeen, 2u) << "the help viewer's window and the \"Click OK to Exit\" box, both titled Sumvane";
    EXPECT_GT(largestWidth, 300) << "the help viewer's window";
    const fs::path copy = box_.desktop().parent_path() / "Temp" / "Sumvane.chm";
    const auto bytes = ReadFile(copy);
    ASSERT_TRUE(bytes.has_value()) << copy;
    EXPECT_EQ(bytes->substr(0, 4), "ITSF") << "the compiled help, written out unchanged";
    const auto built = ReadFile(ProgramPath().parent_path() / "help" / "Sumvane.chm");
    ASSERT_TRUE(built.has_value()) << "the build's own Sumvane.chm";
    EXPECT_EQ(*bytes, *built);
}

// The Windows help speaks of Windows alone: the pages the build compiled into
// the help it ships (the very bytes the help case above finds written out)
// name nothing of Linux, leave no sentence broken where the Linux words were
// taken out, and hold the Windows program's own examples.
TEST_F(WindowsTest, TheWindowsHelpNamesNothingOfLinux) {
    const fs::path pages = ProgramPath().parent_path() / "help";
    std::string all;
    for (const char* page : {"toc.html", "overview.html", "command-line.html", "files.html", "contact.html"}) {
        const std::optional<std::string> text = ReadFile(pages / page);
        ASSERT_TRUE(text.has_value()) << pages / page;
        EXPECT_EQ(WordsIn(*text, kLinuxOnlyWords), std::vector<std::string>{}) << page;
        EXPECT_EQ(BrokenSentences(*text), std::vector<std::string>{}) << page;
        all += *text;
    }
    for (const char* word : {"Sumvane.exe -fC:\\Data -r -c", "-o%USERPROFILE%\\Logs", "Explorer", "schtasks /create",
                             "Task Scheduler", "Last Run Result", "0x1", "Cancel"})
        EXPECT_NE(all.find(word), std::string::npos) << "the Windows help lacks " << word;
}

// The commands a user types from the help's recipes.
bool StartsACommand(const std::string& text) {
    for (const char* command : {"Sumvane.exe ", "SumvaneW.exe ", "schtasks ", "notepad ", "move "})
        if (text.rfind(command, 0) == 0) return true;
    return false;
}

// The command lines of a page of the Windows help: each line of a <pre>, and
// each <code> and table cell that starts with a command, its line breaks
// read as blanks and its entities decoded.
std::vector<std::string> CommandLinesOfPage(const std::string& html) {
    const auto decoded = [](std::string text) {
        for (const auto& [entity, character] : std::vector<std::pair<std::string, std::string>>{
                 {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&amp;", "&"}}) {
            for (std::size_t at = text.find(entity); at != std::string::npos; at = text.find(entity, at + 1))
                text.replace(at, entity.size(), character);
        }
        return text;
    };
    std::vector<std::string> found;
    for (const std::string tag : {"pre", "code", "td"}) {
        const std::string open = "<" + tag + ">";
        const std::string close = "</" + tag + ">";
        for (std::size_t at = html.find(open); at != std::string::npos; at = html.find(open, at + 1)) {
            const std::size_t end = html.find(close, at);
            if (end == std::string::npos) break;
            std::string body = decoded(html.substr(at + open.size(), end - at - open.size()));
            std::vector<std::string> lines;
            if (tag == "pre") {
                std::istringstream in(body);
                for (std::string line; std::getline(in, line);) lines.push_back(line);
            } else {
                std::replace(body.begin(), body.end(), '\n', ' ');
                lines.push_back(body);
            }
            for (const std::string& line : lines)
                if (StartsACommand(line)) found.push_back(line);
        }
    }
    return found;
}

// The Windows command lines of the README and the documents beside it: the
// lines of their bat blocks and their code spans that start with a command.
std::vector<std::string> CommandLinesOfReadme(const std::string& markdown) {
    std::vector<std::string> found;
    std::istringstream in(markdown);
    bool inBat = false;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("```", 0) == 0) {
            inBat = line == "```bat" || line == "```cmd";
            continue;
        }
        if (inBat) {
            if (StartsACommand(line)) found.push_back(line);
            continue;
        }
        for (std::size_t at = line.find('`'); at != std::string::npos; at = line.find('`', at + 1)) {
            const std::size_t end = line.find('`', at + 1);
            if (end == std::string::npos) break;
            const std::string span = line.substr(at + 1, end - at - 1);
            if (StartsACommand(span)) found.push_back(span);
            at = end;
        }
    }
    return found;
}

// Every command line of the Windows help and of the README and docs/ runs as
// written at a command prompt in the program's folder, for a user whose
// profile path holds a space: each is run from a batch file by Wine's cmd, with
// C:\Data, C:\My Photos, D:\Photos (its summary made), its copy E:\Photos
// and D:\disk.iso in place; schtasks runs the task's command line at once as
// the scheduler would, and notepad says whether its file is there. A value
// that can hold a space and is not quoted splits into two arguments, and the
// run then fails.
TEST_F(WindowsGuiTest, EveryCommandLineOfTheHelpRunsAsWrittenWithASpaceInTheProfile) {
    const std::string prefixText = EnvOr("WINEPREFIX");
    if (prefixText.empty()) GTEST_SKIP() << "WINEPREFIX is not given";
    const fs::path prefix = prefixText;
    const fs::path driveC = prefix / "drive_c";
    std::vector<std::string> lines;
    const fs::path pages = ProgramPath().parent_path() / "help";
    for (const char* page : {"toc.html", "overview.html", "command-line.html", "files.html", "contact.html"}) {
        const std::optional<std::string> html = ReadFile(pages / page);
        ASSERT_TRUE(html.has_value()) << pages / page;
        for (const std::string& line : CommandLinesOfPage(*html)) lines.push_back(line);
    }
    std::vector<fs::path> documents = {SUMVANE_README_FILE};
    const fs::path docs = fs::path(SUMVANE_README_FILE).parent_path() / "docs";
    if (fs::is_directory(docs)) {
        for (const auto& entry : fs::directory_iterator(docs))
            if (entry.path().extension() == ".md") documents.push_back(entry.path());
    }
    for (const fs::path& document : documents) {
        const std::optional<std::string> markdown = ReadFile(document);
        ASSERT_TRUE(markdown.has_value()) << document;
        for (const std::string& line : CommandLinesOfReadme(*markdown)) lines.push_back(line);
    }

    const fs::path data = driveC / "Data";
    struct Step {
        std::string line;
        int exitCode;  // -1: not run, a part of a line the text shows
        std::function<void()> before;
    };
    const std::string weekly =
        "schtasks /create /tn \"Sumvane weekly check\" /sc weekly /d MON /st 04:30 /tr "
        "\"\\\"C:\\Program Files\\Sumvane\\SumvaneW.exe\\\" -fC:\\Data -v "
        "\\\"-o%USERPROFILE%\\Logs\\\" "
        "\\\"-mC:\\Program Files\\windows_exporter\\textfile_inputs\\sumvane_data.prom\\\"\"";
    const std::string nightly =
        "schtasks /create /tn \"Sumvane Photos\" /sc daily /st 01:00 /tr \"\\\"C:\\Program "
        "Files\\Sumvane\\SumvaneW.exe\\\" -fD:\\Photos -v -t4h -oC:\\Logs\"";
    const std::vector<Step> steps = {
        {"Sumvane.exe -fC:\\Data -r -c", 0, {}},
        {"Sumvane.exe -f \"C:\\My Photos\" -r -x Old -c", 0, {}},
        {"Sumvane.exe -fC:\\Data -v", 0, {}},
        {"Sumvane.exe C:\\Data\\Sumvane.md5", 0, {}},
        {"Sumvane.exe [-c] [-v | -vc] [-a] [-r] [-f<Folder>] [-n<File>] [-t<Time>] [-b<Folder>] [-x<Folder>]... "
         "[-o<Folder>] [-m<File>] [-j<File>] [-z<File>] [-i] [-u] [-h] [<path>]",
         -1,
         {}},  // the synopsis
        {"Sumvane.exe -fC:\\Data -vc \"-o%USERPROFILE%\\Logs\"", 0, {}},
        {"Sumvane.exe -fD:\\Photos -v -t2h -oC:\\Logs", 0, {}},
        {"Sumvane.exe -fE:\\Photos -v", 0, {}},
        // Damage, its date kept: found (exit code 1) and healed from the copy.
        {"Sumvane.exe -fD:\\Photos -v -bE:\\Photos", 1,
         [&] {
             const fs::path photo = box_.root() / "D" / "Photos" / "d.jpg";
             const auto date = fs::last_write_time(photo);
             WriteFile(photo, "x");
             fs::last_write_time(photo, date);
         }},
        {"Sumvane.exe -nD:\\disk.iso -c -v", 0,
         [&] { EXPECT_EQ(ReadFile(box_.root() / "D" / "Photos" / "d.jpg"), "d") << "not healed from E:\\Photos"; }},
        {"Sumvane.exe -zD:\\disk.iso", 0, {}},
        {"Sumvane.exe -i", 0, {}},
        {"SumvaneW.exe -z", -1, {}},  // what the context-menu entry runs, with the file's name
        {"Sumvane.exe -u", 0, {}},
        {weekly, 0, {}},
        {"schtasks /run /tn \"Sumvane weekly check\"", 0, {}},
        {"schtasks /delete /tn \"Sumvane weekly check\"", 0, {}},
        {nightly, 0, {}},
        // Changes to take in, once the log has been read.
        {"Sumvane.exe -fC:\\Data -r -avc \"-o%USERPROFILE%\\Logs\"", 1, [&] { WriteFile(data / "a.txt", "changed"); }},
        {"notepad \"%USERPROFILE%\\Logs\\CData.txt\"", 0, {}},
        {"move /y C:\\Data\\Sumvane.md5X C:\\Data\\Sumvane.md5", 0, {}},
        {"Sumvane.exe -z", -1, {}},  // README: the clipboard action, said of the prompt it keeps
        {"Sumvane.exe -h", 0, {}},
    };
    std::vector<std::string> listed;
    for (const Step& step : steps) listed.push_back(step.line);
    std::vector<std::string> distinct = lines;
    std::sort(distinct.begin(), distinct.end());
    distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
    std::sort(listed.begin(), listed.end());
    ASSERT_EQ(distinct, listed) << "the help's and the README's command lines, as this case runs them";

    // The machine of a user named John Smith.
    const fs::path profile = driveC / "users" / "John Smith";
    const fs::path programFolder = driveC / "Program Files" / "Sumvane";
    const fs::path driveD = box_.root() / "D";
    const fs::path driveE = box_.root() / "E";
    // windows_exporter's textfile folder, as its installer makes it.
    const fs::path textfiles = driveC / "Program Files" / "windows_exporter" / "textfile_inputs";
    const std::vector<fs::path> made = {data,    driveC / "My Photos",   driveC / "Logs", programFolder,
                                        profile, textfiles.parent_path()};
    for (const fs::path& folder : made) fs::remove_all(folder);
    fs::create_directories(programFolder);
    for (const char* program : {"Sumvane.exe", "SumvaneW.exe"})
        fs::copy_file(ProgramPath().parent_path() / program, programFolder / program);
    fs::create_directories(profile);
    fs::create_directories(textfiles);
    WriteFile(data / "a.txt", "a");
    WriteFile(data / "sub" / "b.txt", "b");
    WriteFile(driveC / "My Photos" / "p.jpg", "p");
    WriteFile(driveC / "My Photos" / "Old" / "o.jpg", "o");
    WriteFile(driveD / "Photos" / "d.jpg", "d");
    WriteFile(driveD / "disk.iso", "iso");
    std::vector<std::pair<fs::path, fs::path>> drives = {{prefix / "dosdevices" / "d:", driveD},
                                                         {prefix / "dosdevices" / "e:", driveE}};
    for (const auto& [device, target] : drives) {
        ASSERT_FALSE(fs::exists(fs::symlink_status(device))) << device << " is taken already";
    }
    // Under Wine every run shares the prefix: all of it goes again.
    struct CleanUp {
        std::function<void()> run;
        ~CleanUp() { run(); }
    } cleanUp{[&] {
        std::error_code ignored;
        for (const auto& [device, target] : drives) fs::remove(device, ignored);
        for (const fs::path& folder : made) fs::remove_all(folder, ignored);
        for (const char* log : {"CData.txt", "CMy Photos.txt", "DPhotos.txt", "EPhotos.txt", "Sumvane.txt"})
            fs::remove(box_.desktop() / log, ignored);
    }};
    for (const auto& [device, target] : drives) fs::create_directory_symlink(target, device);
    // D:\Photos has its summary, and E:\Photos is a copy of it with it.
    const RunResult recorded = box_.Run({"-fD:\\Photos", "-c"});
    EXPECT_EQ(recorded.exitCode, 0) << recorded.err;
    fs::create_directories(driveE);
    fs::copy(driveD / "Photos", driveE / "Photos", fs::copy_options::recursive);

    const fs::path cmd = driveC / "windows" / "system32" / "cmd.exe";
    const fs::path standIns = ProgramPath().parent_path() / "tests" / "stand-ins";
    int number = 0;
    for (const Step& step : steps) {
        if (step.exitCode < 0) continue;
        SCOPED_TRACE(step.line);
        if (step.before) step.before();
        const fs::path batch = box_.tmp() / ("line" + std::to_string(++number) + ".cmd");
        WriteFile(batch, "@echo off\r\nset USERPROFILE=C:\\users\\John Smith\r\nset PATH=" + Native(standIns) +
                             ";%PATH%\r\ncd /d \"C:\\Program Files\\Sumvane\"\r\n" + step.line +
                             "\r\nexit /b %ERRORLEVEL%\r\n");
        RunOptions prompt;
        prompt.program = cmd.string();
        RunResult result;
        if (step.line.find(" -z") != std::string::npos) {
            BoxDismisser dismiss(box_, "Compute MD5 Hash");
            result = box_.Run({"/c", Native(batch)}, prompt);
            EXPECT_TRUE(dismiss.Finish()) << dismiss.report();
        } else if (step.line.ends_with(" -h")) {
            // The help viewer's window and the "Click OK to Exit" box.
            BoxDismisser dismiss(box_, "Sumvane", {}, 2);
            result = box_.Run({"/c", Native(batch)}, prompt);
            EXPECT_TRUE(dismiss.Finish()) << dismiss.report();
        } else {
            result = box_.Run({"/c", Native(batch)}, prompt);
        }
        EXPECT_EQ(result.exitCode, step.exitCode) << result.out << result.err;
    }
    // The checks' logs went to the profile's folder Logs, named as it says.
    EXPECT_TRUE(fs::exists(profile / "Logs" / "CData.txt"));
    EXPECT_FALSE(fs::exists(data / "Sumvane.md5X")) << "moved over the summary";
    // The weekly task's figures, for windows_exporter: its last run was clean.
    const std::string figures = ReadFile(textfiles / "sumvane_data.prom").value_or("");
    EXPECT_NE(figures.find("sumvane_last_run_success{folder=\"C:\\\\Data\"} 1\n"), std::string::npos) << figures;
}

TEST_F(WindowsTest, InstallAndRemoveTheVerbInTheRegistry) {
    const std::vector<std::string> query = {WineLoader(), "reg", "query", "HKCR\\*\\shell\\Sumvane\\command", "/ve"};
    RunResult result = box_.Run({"-i"});
    EXPECT_EQ(result.exitCode, 0);
    int status = -1;
    const std::string value = Capture(query, &status);
    EXPECT_EQ(status, 0) << value;
    const std::string folder = Native(ProgramPath().parent_path());
    // The window program of the same build: it starts without a console.
    const std::string expected = "\"" + folder + "\\SumvaneW.exe\" \"-z%1\"";
    EXPECT_NE(value.find("REG_SZ"), std::string::npos) << value;
    EXPECT_NE(value.find(expected), std::string::npos) << "expected " << expected << " in:\n" << value;

    result = box_.Run({"-u"});
    EXPECT_EQ(result.exitCode, 0);
    Capture(query, &status);
    EXPECT_NE(status, 0) << "the command key is gone";
    Capture({WineLoader(), "reg", "query", "HKCR\\*\\shell\\Sumvane"}, &status);
    EXPECT_NE(status, 0) << "the verb key is gone";
    result = box_.Run({"-u"});
    EXPECT_EQ(result.exitCode, 0) << "removing an absent verb reports nothing";
}

TEST_F(WindowsTest, FileHeldOpenForWritingByAnotherProcessIsAnErrorNotAMissingFile) {
    const std::string helper = Helper("hold_open.exe");
    const fs::path tree = box_.work() / "tree";
    WriteFile(tree / "free.txt", "free");
    WriteFile(tree / "busy.log", "being written");
    const fs::path ready = box_.tmp() / "ready";
    const fs::path release = box_.tmp() / "release";
    fs::create_directories(box_.tmp());
    Background holder({WineLoader(), helper, Native(tree / "busy.log"), Native(ready), Native(release)});
    ASSERT_TRUE(holder.started());
    ASSERT_TRUE(WaitFor(ready, 60)) << "the helper never held the file";

    const RunResult result = box_.Run({"-f" + Native(tree), "-c"});
    WriteFile(release, "");
    EXPECT_EQ(holder.Wait(30), 0);

    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(ReadFile(tree / "Sumvane.md5"), Md5Of("free") + " " + Native(tree / "free.txt") + "\r\n");
    const fs::path log = box_.desktop() / LogName(Native(tree));
    EXPECT_EQ(LogLines(log), std::vector<std::string>{Native(tree / "busy.log") + " - Error computing MD5"});
    fs::remove(log);  // under Wine every run shares the desktop
}

// A file that loses its bytes while it is read is read again as it is now
// and recorded so, and the run goes on. Under Wine the Linux side cuts it
// short (Wine's share modes do not bind Linux processes).
TEST_F(WindowsTest, AFileCutShortWhileItIsReadIsReadAgainAndTheRunGoesOn) {
    const fs::path tree = box_.work() / "tree";
    WriteFile(tree / "a.txt", "a");
    const fs::path big = tree / "big.bin";
    WriteSparseFile(big, 2ULL << 30);
    WriteFile(tree / "z.txt", "z");
    bool cut = false;
    std::thread cutter([&] {
        for (int tick = 0; tick < 12000 && !cut; ++tick) {
            if (OpenedByAnyProcess(big)) {
                // Well into its 2 GiB, whose size was taken at the start.
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
                fs::resize_file(big, 1 << 20);
                cut = true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    const RunResult result = box_.Run({"-f" + Native(tree), "-c"});
    cutter.join();
    ASSERT_TRUE(cut) << "the file was never seen open";
    EXPECT_EQ(result.exitCode, 0);
    const fs::path log = box_.desktop() / LogName(Native(tree));
    EXPECT_FALSE(LogText(log));
    fs::remove(log);  // under Wine every run shares the desktop
    const auto summary = ReadFile(tree / "Sumvane.md5");
    ASSERT_TRUE(summary.has_value());
    EXPECT_NE(summary->find(Md5Of(std::string(1 << 20, '\0')) + " " + Native(big) + "\r\n"), std::string::npos)
        << "the file as it is after it was cut";
    EXPECT_NE(summary->find(Md5Of("z") + " " + Native(tree / "z.txt") + "\r\n"), std::string::npos)
        << "the file after it is recorded too";
}

// Ctrl+C during a build (Wine turns SIGINT into it) ends the run with exit
// code 1 and leaves the old summary as it was, with no temporary file beside
// it.
TEST_F(WindowsTest, AnInterruptedBuildLeavesTheOldSummaryAndNoTemporaryFile) {
    const LongBuild build = MakeLongBuild(2ULL << 30);
    const fs::path& tree = build.tree;
    const std::string& old = build.oldSummary;
    std::size_t interrupted = 0;
    std::thread interrupter([&] {
        // The new summary is being written once its temporary file is there.
        for (int tick = 0; tick < 12000 && TemporaryFilesIn(tree).empty(); ++tick)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        for (const pid_t pid : ProgramProcesses(box_)) interrupted += ::kill(pid, SIGINT) == 0;
    });
    const RunResult result = box_.Run({"-f" + Native(tree), "-c"});
    interrupter.join();
    ASSERT_EQ(interrupted, 1u) << "the program's process was not found while it wrote";
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(ReadFile(tree / "Sumvane.md5"), old);
    ExpectNoTemporaryFileSoon(tree);
}

// Paths past MAX_PATH (260 characters) are listed, hashed and verified like
// any other. Wine itself has no such limit, so this shows the program's
// calls take them; the unit tests check the long form Windows needs.
TEST_F(WindowsTest, ATreeNestedPastMaxPathRoundTrips) {
    const fs::path tree = box_.work() / "tree";
    fs::path deep = tree;
    while (Native(deep).size() < 280) deep /= std::string(40, static_cast<char>('a' + Native(deep).size() % 26));
    WriteFile(tree / "top.txt", "top");
    WriteFile(deep / "deep.txt", "deep");

    const RunResult build = box_.Run({"-f" + Native(tree), "-r", "-c"});
    EXPECT_EQ(build.exitCode, 0);
    EXPECT_EQ(ReadFile(tree / "Sumvane.md5"), Md5Of("top") + " " + Native(tree / "top.txt") + "\r\n" + Md5Of("deep") +
                                                  " " + Native(deep / "deep.txt") + "\r\n");
    const RunResult verify = box_.Run({"-f" + Native(tree), "-r", "-v"});
    EXPECT_EQ(verify.exitCode, 0);
    EXPECT_FALSE(fs::exists(box_.desktop() / LogName(Native(tree)))) << "a clean verification leaves no log";
}

TEST_F(WindowsTest, LinkedFoldersAreNotDescendedInto) {
    const fs::path tree = box_.work() / "tree";
    WriteFile(tree / "a.txt", "a");
    WriteFile(tree / "sub" / "b.txt", "b");
    fs::create_directory_symlink(".", tree / "sub" / "loop");  // would recurse for ever
    fs::create_directory_symlink(tree / "sub", tree / "again");
    const RunResult result = box_.Run({"-f" + Native(tree), "-r", "-c"});
    EXPECT_EQ(result.exitCode, 0);
    const auto summary = ReadFile(tree / "Sumvane.md5");
    ASSERT_TRUE(summary.has_value());
    EXPECT_EQ(*summary, Md5Of("a") + " " + Native(tree / "a.txt") + "\r\n" + Md5Of("b") + " " +
                            Native(tree / "sub" / "b.txt") + "\r\n");
}

// The digest of a large file as md5sum gives it, in upper case.
std::string Md5SumOf(const fs::path& file) {
    std::string digits = Capture({"md5sum", file.string()}).substr(0, 32);
    for (char& c : digits) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return digits;
}

// Whether the status line `shown` names `path`: whole, or, too long for it,
// as its start ("Z:\\"), "..." and its end.
bool StatusNames(const std::string& shown, const std::string& path) {
    if (shown == path) return true;
    const std::string start = path.substr(0, 3) + "...";
    return shown.rfind(start, 0) == 0 && shown.size() > start.size() && path.ends_with(shown.substr(start.size()));
}

// Whether the watcher saw the dialog of `title` with its status line naming
// `path` and then `rest` ("60 of 0-100|cancel shown").
bool Showed(const std::vector<std::string>& lines, const std::string& title, const std::string& path,
            const std::string& rest) {
    const std::string prefix = title + "|Please wait ...|";
    for (const std::string& line : lines) {
        if (line.rfind(prefix, 0) != 0) continue;
        const std::size_t bar = line.find('|', prefix.size());
        if (bar != std::string::npos && StatusNames(line.substr(prefix.size(), bar - prefix.size()), path) &&
            line.substr(bar + 1) == rest)
            return true;
    }
    return false;
}

// One run of the program with its progress dialog watched from outside by
// watch_progress.exe: a line for each change of what the dialog shows, then
// "closed" once it is gone.
struct WatchedRun {
    RunResult result;
    int watcherStatus = -1;
    std::vector<std::string> lines;
    std::string Said() const {
        std::string all;
        for (const std::string& line : lines) all += line + "\n";
        return "watch_progress.exe exited with " + std::to_string(watcherStatus) + " after:\n" + all;
    }
};

// With `action` ("cancel", "escape" or "close") the watcher stops the job
// from its window once it is at work.
WatchedRun RunWatchingProgress(const Sandbox& box, const std::vector<std::string>& args,
                               const std::map<std::string, std::string>& env = {}, const std::string& action = "",
                               const std::string& program = "") {
    const fs::path ready = box.tmp() / "watching";
    fs::create_directories(box.tmp());
    fs::remove(ready);
    WatchedRun run;
    std::string said;
    std::thread watcher([&] {
        std::vector<std::string> watch = {WineLoader(), Helper("watch_progress.exe"), Native(ready)};
        if (!action.empty()) watch.push_back(action);
        said = Capture(watch, &run.watcherStatus);
    });
    RunOptions options;
    options.env = env;
    options.program = program;
    if (WaitFor(ready, 60)) run.result = box.Run(args, options);
    watcher.join();
    std::istringstream lines(said);
    for (std::string line; std::getline(lines, line);) run.lines.push_back(Trimmed(line));
    return run;
}

bool Holds(const std::vector<std::string>& lines, const std::string& wanted) {
    return std::find(lines.begin(), lines.end(), wanted) != lines.end();
}

// The progress dialog as the user sees it while a folder job runs: the job's
// title, "Please wait ...", the folder at work and the bar's place, its Cancel
// button, and closed by the job itself when it ends. A large sparse file
// keeps the dialog up long enough to be read.
TEST_F(WindowsTest, ProgressDialogShowsTheJobAndIsClosedByIt) {
    const fs::path tree = box_.work() / "tree";
    WriteFile(tree / "a.txt", "a");
    const fs::path big = tree / "sub" / "big.bin";
    WriteFile(big, "");
    fs::resize_file(big, 1ULL << 30);

    const WatchedRun build = RunWatchingProgress(box_, {"-f" + Native(tree), "-r", "-c"});
    EXPECT_EQ(build.result.exitCode, 0);
    EXPECT_EQ(build.watcherStatus, 0) << build.Said();
    // As the big file begins one file of two is done, so the bar stands at
    // 20 + 80 * 1 / 2 (and rises from there as it is read); the status line
    // names its folder (shown without the final backslash, its middle left
    // out when it is too long).
    EXPECT_TRUE(Showed(build.lines, "Building MD5 Archive File", Native(tree / "sub"), "60 of 0-100|cancel shown"))
        << build.Said();
    ASSERT_FALSE(build.lines.empty());
    EXPECT_EQ(build.lines.back(), "closed") << "the job closes its own dialog";
    EXPECT_EQ(ReadFile(tree / "Sumvane.md5"),
              Md5Of("a") + " " + Native(tree / "a.txt") + "\r\n" + Md5SumOf(big) + " " + Native(big) + "\r\n");

    const WatchedRun verify = RunWatchingProgress(box_, {"-f" + Native(tree), "-v"});
    EXPECT_EQ(verify.result.exitCode, 0);
    EXPECT_EQ(verify.watcherStatus, 0) << verify.Said();
    // The second of two entries; the status line holds the folder as given.
    EXPECT_TRUE(Showed(verify.lines, "Checking MD5 Archive File", Native(tree), "60 of 0-100|cancel shown"))
        << verify.Said();
    ASSERT_FALSE(verify.lines.empty());
    EXPECT_EQ(verify.lines.back(), "closed") << "the job closes its own dialog";
}

// Views past 2^32: the 32-bit build reaches them only as a large-address-
// aware program. Whichever build the suite drives is the one tested here.
TEST_F(WindowsTest, FileOverFourGiB) {
    const fs::path file = box_.work() / "big.bin";
    fs::create_directories(file.parent_path());
    {
        std::ofstream out(file, std::ios::binary);
        out << "head";
        out.seekp((1LL << 32) + (1LL << 30) + 12345);  // windows past 2^32 and a remainder
        out << "tail";
    }
    if (fs::file_size(file) <= (1ULL << 32)) GTEST_SKIP() << "this file system cannot hold a sparse 5 GiB file";
    const std::string md5sum = Md5SumOf(file);
    ASSERT_EQ(md5sum.size(), 32u);

    const RunResult result = box_.Run({"-n" + Native(file), "-c"});
    EXPECT_EQ(result.exitCode, 0);
    const auto companion = ReadFile(box_.work() / "big.bin.md5");
    ASSERT_TRUE(companion.has_value());
    EXPECT_EQ(companion->substr(0, 32), md5sum);
}

// The Linux build against the Windows build on one tree: the same summary
// lines (paths aside) and the same log lines.
TEST_F(WindowsTest, SameTreeGivesTheSameSummaryAndLogAsTheLinuxBuild) {
    const std::string linuxExe = EnvOr("SUMVANE_LINUX_EXE");
    if (linuxExe.empty()) GTEST_SKIP() << "SUMVANE_LINUX_EXE (the Linux build) is not given";
    const fs::path tree = box_.work() / "tree";
    WriteFile(tree / "a.txt", "alpha");
    WriteFile(tree / "empty", "");
    WriteFile(tree / "sub" / "b.bin", std::string(100000, '\x7f'));
    WriteFile(tree / "sub" / "deeper" / "c.txt", "gamma");
    WriteFile(tree / ".git" / "ignored", "x");

    // Linux first: create, change the tree, verify; keep what it wrote.
    const fs::path linuxDesktop = box_.home() / "Desktop";
    fs::create_directories(linuxDesktop);
    const std::string linuxPath = tree.string();
    int status = -1;
    const auto runLinux = [&](const std::string& option) {
        Capture({"env", "HOME=" + box_.home().string(), "XDG_DESKTOP_DIR=" + linuxDesktop.string(), linuxExe,
                 "-f" + linuxPath, "-r", option},
                &status);
    };
    runLinux("-c");
    const auto linuxSummary = ReadFile(tree / "Sumvane.md5");
    // Changed behind its date's back, so that both builds say the same of it
    // whatever the clocks' ticks.
    WriteTime before = WriteTimeOf(tree / "a.txt");
    WriteFile(tree / "a.txt", "changed");
    SetWriteTime(tree / "a.txt", before);
    fs::remove(tree / "sub" / "deeper" / "c.txt");
    runLinux("-v");
    const std::vector<std::string> linuxLog = LogLines(linuxDesktop / LogName(linuxPath));

    // The Windows build on the same tree, in the same states.
    WriteFile(tree / "a.txt", "alpha");
    WriteFile(tree / "sub" / "deeper" / "c.txt", "gamma");
    fs::remove(tree / "Sumvane.md5");
    EXPECT_EQ(box_.Run({"-f" + Native(tree), "-r", "-c"}).exitCode, 0);
    const auto windowsSummary = ReadFile(tree / "Sumvane.md5");
    before = WriteTimeOf(tree / "a.txt");
    WriteFile(tree / "a.txt", "changed");
    SetWriteTime(tree / "a.txt", before);
    fs::remove(tree / "sub" / "deeper" / "c.txt");
    EXPECT_EQ(box_.Run({"-f" + Native(tree), "-r", "-v"}).exitCode, 1);
    const std::vector<std::string> windowsLog = LogLines(box_.desktop() / LogName(Native(tree)));

    ASSERT_TRUE(linuxSummary.has_value());
    ASSERT_TRUE(windowsSummary.has_value());
    // The path form is the one allowed difference: /tmp/x/a.txt is Z:\tmp\x\a.txt.
    const auto asWindows = [&](std::string text) {
        std::string out;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text.compare(i, linuxPath.size(), linuxPath) == 0) {
                std::string path = "Z:" + linuxPath;
                for (char& c : path)
                    if (c == '/') c = '\\';
                out += path;
                i += linuxPath.size() - 1;
                // The rest of the path up to the line's end uses "\" too.
                while (i + 1 < text.size() && text[i + 1] != '\r' && text[i + 1] != '\n' && text[i + 1] != ' ') {
                    ++i;
                    out.push_back(text[i] == '/' ? '\\' : text[i]);
                }
            } else {
                out.push_back(text[i]);
            }
        }
        return out;
    };
    // Each build lists a folder in its own system's order (Wine sorts by
    // name, Linux keeps the file system's order): the lines are identical,
    // folder by folder in the same walk order.
    const auto lines = [](const std::string& text) {
        std::vector<std::string> all;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) all.push_back(line + "\n");
        return all;
    };
    const auto folderOrder = [](std::vector<std::string> all) {
        std::vector<std::string> folders;
        for (const std::string& line : all) {
            const std::string folder = line.substr(33, line.rfind('\\') - 33);  // after the digits
            if (folders.empty() || folders.back() != folder) folders.push_back(folder);
        }
        return folders;
    };
    std::vector<std::string> fromLinux = lines(asWindows(*linuxSummary));
    std::vector<std::string> fromWindows = lines(*windowsSummary);
    EXPECT_EQ(folderOrder(fromLinux), folderOrder(fromWindows));
    std::sort(fromLinux.begin(), fromLinux.end());
    std::sort(fromWindows.begin(), fromWindows.end());
    EXPECT_EQ(fromLinux, fromWindows);
    EXPECT_EQ(fromWindows.size(), 4u);
    std::vector<std::string> linuxAsWindows;
    for (const std::string& line : linuxLog) linuxAsWindows.push_back(asWindows(line));
    std::sort(linuxAsWindows.begin(), linuxAsWindows.end());
    std::vector<std::string> sortedWindowsLog = windowsLog;
    std::sort(sortedWindowsLog.begin(), sortedWindowsLog.end());
    EXPECT_EQ(linuxAsWindows, sortedWindowsLog);
    EXPECT_EQ(windowsLog.size(), 2u) << "one mismatch and one missing file";
}

// The last change of a file, for the order of two events on this machine.
fs::file_time_type ChangedAt(const fs::path& path) {
    std::error_code ignored;
    return fs::last_write_time(path, ignored);
}

// A virus scanner, an indexer or a viewer that opens the log for a moment
// (reading, sharing reading only) cuts no line and loses none: the old log
// is still removed, and a line meeting the held file waits for it.
TEST_F(WindowsTest, TheLogTakesEveryLineWhileAnotherProgramHoldsItForAMoment) {
    const fs::path tree = box_.work() / "tree";
    WriteFile(tree / "a.txt", "a");
    // Between the two changed files: the first line is written, and the
    // holder has the new log, while this one is hashed.
    WriteSparseFile(tree / "big.bin", 256ULL << 20);
    WriteFile(tree / "z.txt", "z");
    ASSERT_EQ(box_.Run({"-f" + Native(tree), "-c"}).exitCode, 0);
    WriteFile(tree / "a.txt", "changed");
    WriteFile(tree / "z.txt", "changed");
    const fs::path log = box_.desktop() / LogName(Native(tree));
    const std::vector<std::string> expected = {
        Native(tree / "a.txt") + " - MD5 Mismatch (" + Md5Of("a") + " - " + Md5Of("changed") + ")" +
            MismatchDate(tree / "a.txt", tree / "Sumvane.md5"),
        Native(tree / "z.txt") + " - MD5 Mismatch (" + Md5Of("z") + " - " + Md5Of("changed") + ")" +
            MismatchDate(tree / "z.txt", tree / "Sumvane.md5"),
    };
    fs::create_directories(box_.tmp());
    const fs::path held = box_.tmp() / "held";
    struct Case {
        const char* name;
        bool oldLogThere;  // else the holder waits for this run's log to appear
    };
    for (const Case& c : {Case{"an old log held at the start", true}, Case{"the new log held", false}}) {
        SCOPED_TRACE(c.name);
        fs::remove(held);
        fs::remove(log);
        if (c.oldLogThere) WriteFile(log, std::string("[\0o\0l\0d\0\r\0\n\0", 12));
        Background holder({WineLoader(), Helper("hold_open.exe"), "read", Native(log), Native(held), "3000"});
        ASSERT_TRUE(holder.started());
        if (c.oldLogThere) {
            ASSERT_TRUE(WaitFor(held, 60)) << "the helper never held the old log";
        }
        const RunResult result = box_.Run({"-f" + Native(tree), "-v"});
        EXPECT_EQ(holder.Wait(60), 0);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.err, "") << "every line reached the log";
        EXPECT_EQ(LogLines(log), expected);
        ASSERT_TRUE(fs::exists(held));
        if (!c.oldLogThere) {
            EXPECT_GE(ChangedAt(log), ChangedAt(held)) << "the second line came while the log was held";
        }
    }
    fs::remove(log);  // under Wine every run shares the desktop
}

// The lines of a console program's standard error, without the time stamp
// of a log line that went there instead of into its log.
std::vector<std::string> StandardErrorLines(const std::string& err) {
    std::vector<std::string> lines;
    std::istringstream in(err);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() > 22 && line[0] == '[' && line.compare(20, 2, "] ") == 0) line = line.substr(22);
        lines.push_back(line);
    }
    return lines;
}

// What the console program says on standard error, the window program (as
// the scheduler starts it, with nobody to read its standard error) writes
// under its own name into the run's log, and what that log cannot take into
// SumvaneW.txt on the desktop: options refused, and a log that cannot be
// made (a folder whose path makes a log name of more than 255 characters).
TEST_F(WindowsTest, TheWindowProgramWritesWhereItsUserLooksWhatTheConsoleProgramSays) {
    const fs::path unheard = box_.desktop() / "SumvaneW.txt";
    const fs::path tree = box_.work() / "tree";
    fs::path deep = tree;
    while (Native(deep).size() < 336) deep /= std::string(60, 'd');
    for (const fs::path& folder : {tree, deep}) {
        WriteFile(folder / "a.txt", "a");
        WriteFile(folder / "Sumvane.md5", Md5Of("a") + " " + Native(folder / "a.txt") + "\r\n" + Md5Of("b") + " " +
                                              Native(folder / "b.txt") + "\r\n");
    }
    struct Case {
        const char* name;
        std::vector<std::string> args;
        fs::path log;  // where the window program's lines go
    };
    const Case cases[] = {
        {"options refused", {"-f" + Native(tree), "-vc", "-t2h"}, box_.desktop() / LogName(Native(tree))},
        {"a log that cannot be made", {"-f" + Native(deep), "-v"}, unheard},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(unheard);
        fs::remove(c.log);
        const RunResult console = box_.Run(c.args);
        EXPECT_EQ(console.exitCode, 1);
        std::vector<std::string> said = StandardErrorLines(console.err);
        ASSERT_FALSE(said.empty());
        for (std::string& line : said) {
            if (line.rfind("Sumvane.exe: ", 0) == 0) line.replace(0, 11, kWindowProgram);
        }
        fs::remove(c.log);
        RunOptions scheduled;
        scheduled.program = kWindowProgram;
        const RunResult window = box_.Run(c.args, scheduled);
        EXPECT_EQ(window.exitCode, 1);
        EXPECT_EQ(window.err, "");
        EXPECT_EQ(LogLines(c.log), said);
        if (c.log != unheard) {
            EXPECT_FALSE(fs::exists(unheard)) << "every line went into the run's log";
        }
        fs::remove(c.log);
    }
    const std::vector<std::string> refused = StandardErrorLines(box_.Run(cases[0].args).err);
    EXPECT_EQ(refused, std::vector<std::string>{"Sumvane.exe: -t cannot be used with -vc: a rewrite needs the whole "
                                                "summary"});
    fs::remove(unheard);
}

// A log viewer left open on the last run's log holds it for reading, sharing
// reading and writing, and perhaps deleting. The next run, started as the
// scheduler starts it, cannot delete that log: it empties it and writes its
// own lines there, from its start, where the viewer shows them; nothing is
// said on standard error, and the log stays when the viewer lets go.
TEST_F(WindowsTest, AViewerLeftOpenOnTheOldLogShowsThisRunsLines) {
    const fs::path tree = box_.work() / "tree";
    WriteFile(tree / "a.txt", "a");
    WriteFile(tree / "b.txt", "b");
    ASSERT_EQ(box_.Run({"-f" + Native(tree), "-c"}).exitCode, 0);
    const fs::path log = box_.desktop() / LogName(Native(tree));
    fs::create_directories(box_.tmp());
    const fs::path held = box_.tmp() / "held";
    const fs::path release = box_.tmp() / "release";
    for (const std::string sharing : {"rw", "rwd"}) {
        SCOPED_TRACE(sharing);
        for (const fs::path& stale : {log, held, release}) fs::remove(stale);
        fs::remove(tree / "a.txt");
        ASSERT_EQ(box_.Run({"-f" + Native(tree), "-v"}).exitCode, 1);
        ASSERT_EQ(LogLines(log), std::vector<std::string>{Native(tree / "a.txt") + " - File Not Found"});
        Background viewer(
            {WineLoader(), Helper("hold_open.exe"), "view", sharing, Native(log), Native(held), Native(release)});
        ASSERT_TRUE(viewer.started());
        ASSERT_TRUE(WaitFor(held, 60)) << "the viewer never had the log open";
        WriteFile(tree / "a.txt", "a");
        fs::remove(tree / "b.txt");
        RunOptions scheduled;
        scheduled.program = kWindowProgram;
        const RunResult result = box_.Run({"-f" + Native(tree), "-v"}, scheduled);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.err, "");
        const std::vector<std::string> expected = {Native(tree / "b.txt") + " - File Not Found"};
        EXPECT_EQ(LogLines(log), expected) << "this run's line, and nothing of the last run's";
        WriteFile(release, "");
        EXPECT_EQ(viewer.Wait(30), 0);
        EXPECT_EQ(LogLines(log), expected) << "the log stays when the viewer lets go";
        WriteFile(tree / "b.txt", "b");
    }
    fs::remove(log);  // under Wine every run shares the desktop
}

// Started by the shell from the context menu, the program is the only one
// on the console the system gave it, and lets it go before it hashes, so
// no empty console window stands in front of its box. Started from a
// console it shares, it keeps it and prints its banner there.
TEST_F(WindowsTest, TheContextMenuActionLetsItsConsoleGoAndAPromptKeepsIt) {
    const fs::path file = box_.work() / "photo.jpg";
    WriteFile(file, "the bytes of a photo");
    ASSERT_EQ(box_.Run({"-i"}).exitCode, 0);

    // The helper's lines, without the CR a Windows program puts before each LF.
    const auto lines = [](std::string text) {
        text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
        return text;
    };
    int status = -1;
    std::string said = lines(Capture({WineLoader(), Helper("start_verb.exe"), "verb", Native(file)}, &status));
    EXPECT_EQ(status, 0) << said;
    EXPECT_NE(said.find("console: none\n"), std::string::npos) << said;
    EXPECT_NE(said.find("exit: 0\n"), std::string::npos) << said;

    said = lines(
        Capture({WineLoader(), Helper("start_verb.exe"), "console", Native(ProgramPath()), Native(file)}, &status));
    EXPECT_EQ(status, 0) << said;
    EXPECT_NE(said.find("console: 2 processes\n"), std::string::npos) << said;
    EXPECT_NE(said.find("exit: 0\n"), std::string::npos) << said;
    const std::string firstBannerLine = Banner().substr(0, Banner().find("\r\n"));
    EXPECT_NE(said.find("screen: " + firstBannerLine + "\n"), std::string::npos) << said;

    EXPECT_EQ(box_.Run({"-u"}).exitCode, 0);
}

// Chosen from the context menu, the program shows its box and nothing else:
// the entry starts SumvaneW.exe, a window program, for which the system
// opens no console window. A watcher looks at the screen every 2 ms across
// 10 starts. Started the same way, the console program Sumvane.exe does
// flash a console window, which shows that the watcher sees one.
TEST_F(WindowsTest, TheContextMenuActionShowsNoConsoleWindow) {
    const fs::path file = box_.work() / "photo.jpg";
    WriteFile(file, "the bytes of a photo");
    ASSERT_EQ(box_.Run({"-i"}).exitCode, 0);
    const auto watch = [&](int starts) {
        std::string said =
            Capture({WineLoader(), Helper("start_verb.exe"), "watch", Native(file), std::to_string(starts)});
        said.erase(std::remove(said.begin(), said.end(), '\r'), said.end());
        return said;
    };
    std::string said = watch(10);
    EXPECT_NE(said.find("starts: 10\n"), std::string::npos) << said;
    EXPECT_NE(said.find("other windows: none\n"), std::string::npos) << said;

    const std::vector<std::string> setVerb = {WineLoader(),
                                              "reg",
                                              "add",
                                              "HKCR\\*\\shell\\Sumvane\\command",
                                              "/ve",
                                              "/d",
                                              "\"" + Native(ProgramPath()) + "\" \"-z%1\"",
                                              "/f"};
    int status = -1;
    Capture(setVerb, &status);
    ASSERT_EQ(status, 0);
    said = watch(2);
    EXPECT_NE(said.find("starts: 2\n"), std::string::npos) << said;
    EXPECT_NE(said.find("other window: "), std::string::npos) << "the console program's window was not seen:\n" << said;
    EXPECT_EQ(box_.Run({"-u"}).exitCode, 0);
}

// Cancel, Escape and the window's close command stop a running build as
// Ctrl+C in the console does: the old summary stays as it was, the run says
// it was interrupted, the exit code is 1, and no temporary file is left.
TEST_F(WindowsTest, CancelEscapeAndTheCloseCommandStopTheJob) {
    const LongBuild build = MakeLongBuild(4ULL << 30);
    const fs::path& tree = build.tree;
    const std::string& old = build.oldSummary;
    const fs::path log = box_.desktop() / LogName(Native(tree));
    // The window program says it in the run's log, under its own name.
    for (const std::string program : {"", kWindowProgram}) {
        for (const std::string action : {"cancel", "escape", "close"}) {
            if (!program.empty() && action != "cancel") continue;
            SCOPED_TRACE(action + " " + program);
            fs::remove(log);
            const auto start = std::chrono::steady_clock::now();
            const WatchedRun run = RunWatchingProgress(box_, {"-f" + Native(tree), "-c"}, {}, action, program);
            const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            EXPECT_EQ(run.watcherStatus, 0) << run.Said();
            EXPECT_TRUE(Holds(run.lines, "pressed " + action)) << run.Said();
            ASSERT_FALSE(run.lines.empty());
            EXPECT_EQ(run.lines.back(), "closed") << run.Said();
            EXPECT_EQ(run.result.exitCode, 1);
            if (program.empty()) {
                EXPECT_NE(run.result.err.find("Sumvane.exe: interrupted"), std::string::npos) << run.result.err;
            } else {
                EXPECT_EQ(run.result.err, "");
                const std::vector<std::string> lines = LogLines(log);
                ASSERT_EQ(lines.size(), 1u);
                EXPECT_EQ(lines[0].rfind("SumvaneW.exe: interrupted", 0), 0u) << lines[0];
            }
            EXPECT_EQ(ReadFile(tree / "Sumvane.md5"), old);
            // Hashing 4 GiB would take longer than the stop.
            EXPECT_LT(seconds, 30.0);
            ExpectNoTemporaryFileSoon(tree);
        }
    }
    fs::remove(log);  // under Wine every run shares the desktop
}

// A log viewer that follows the log keeps it open for reading the whole time,
// sharing reading, writing and deleting. Each of the run's 400 lines goes into
// the log at once, the run does not wait for the viewer, and the viewer reads
// every line as it comes.
TEST_F(WindowsTest, AViewerFollowingTheLogMissesNothingAndHoldsNothingUp) {
    const fs::path tree = box_.work() / "tree";
    // The first line, then a while for the viewer to open the log, then 399.
    const fs::path big = tree / "big.bin";
    WriteSparseFile(big, 512ULL << 20);
    std::string summary;
    std::vector<std::string> expected;
    for (int k = 0; k < 400; ++k) {
        const std::string missing = Native(tree / ("missing" + std::to_string(k) + ".txt"));
        summary += Md5Of("x") + " " + missing + "\r\n";
        expected.push_back(missing + " - File Not Found");
        if (k == 0) summary += Md5SumOf(big) + " " + Native(big) + "\r\n";
    }
    WriteFile(tree / "Sumvane.md5", summary);
    const fs::path log = box_.desktop() / LogName(Native(tree));
    const auto timedRun = [&](double* seconds) {
        const auto start = std::chrono::steady_clock::now();
        const RunResult result = box_.Run({"-f" + Native(tree), "-v"});
        *seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        return result;
    };
    // The same run with nobody following, for its time on this machine.
    double alone = 0;
    fs::remove(log);
    EXPECT_EQ(timedRun(&alone).exitCode, 1);
    fs::remove(log);
    fs::create_directories(box_.tmp());
    const fs::path held = box_.tmp() / "held";
    const fs::path report = box_.tmp() / "followed";
    const fs::path release = box_.tmp() / "release";
    fs::remove(held);
    fs::remove(report);
    fs::remove(release);
    Background viewer({WineLoader(), Helper("hold_open.exe"), "follow", Native(log), Native(held), "15000",
                       Native(report), Native(release)});
    ASSERT_TRUE(viewer.started());
    double seconds = 0;
    const RunResult result = timedRun(&seconds);
    const bool viewerStillThere = !fs::exists(report);
    WriteFile(release, "");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "") << "every line reached the log";
    EXPECT_EQ(LogLines(log), expected);
    EXPECT_TRUE(fs::exists(held)) << "the viewer never had the log open";
    EXPECT_TRUE(viewerStillThere) << "the viewer let go before the run ended";
    EXPECT_LT(seconds, 2 * alone + 2) << "followed, the run took " << seconds << " s; alone " << alone << " s";
    EXPECT_EQ(viewer.Wait(60), 0);
    EXPECT_EQ(ReadFile(report), "read " + std::to_string(fs::file_size(log)) + " bytes") << "the viewer saw every line";
    fs::remove(log);  // under Wine every run shares the desktop
}

// The dialog of a folder whose path holds an "&" and is too long for the
// status line, shown by the window program as the scheduler starts it: the
// text is the folder, drawn without mnemonics, its middle left out and its
// end kept (the end of its own long name); the window's own text names the
// job for the taskbar. A screenshot of it, with the bar part-way through
// the one large file, is kept when SUMVANE_SCREENSHOTS names a folder.
TEST_F(WindowsTest, ProgressDialogShowsAnAmpersandAndTheEndOfALongPath) {
    const fs::path folder =
        box_.work() / "Data" / "Customer correspondence" / "R&D Lab measurements of the years 2019 to 2024 with notes";
    WriteSparseFile(folder / "measurements.bin", 1ULL << 30);
    const std::string screenshot = Screenshot("progress-dialog.png");
    std::string shot = "no screenshot asked for";
    std::thread photographer([&] {
        if (screenshot.empty()) return;
        shot = "the dialog never came";
        for (int tick = 0; tick < 600; ++tick) {
            if (!WindowsTitled("Building MD5 Archive File", box_).empty()) {
                // Drawn, and part-way through the file.
                std::this_thread::sleep_for(std::chrono::milliseconds(1200));
                shot = TakeScreenshot(screenshot);
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
    const WatchedRun build = RunWatchingProgress(box_, {"-f" + Native(folder), "-c"}, {}, "", kWindowProgram);
    photographer.join();
    EXPECT_EQ(build.result.exitCode, 0);
    EXPECT_EQ(build.watcherStatus, 0) << build.Said();
    EXPECT_TRUE(Holds(build.lines, "window: Building MD5 Archive File")) << build.Said();
    EXPECT_TRUE(Holds(build.lines, "styles: center noprefix|center noprefix|center noprefix pathellipsis"))
        << build.Said();
    const std::string prefix = "Building MD5 Archive File|Please wait ...|";
    std::string status;
    for (const std::string& line : build.lines) {
        if (line.rfind(prefix, 0) == 0)
            status = line.substr(prefix.size(), line.find('|', prefix.size()) - prefix.size());
    }
    const std::string start = "Z:\\...";
    ASSERT_EQ(status.rfind(start, 0), 0u) << build.Said();
    const std::string end = status.substr(start.size());
    EXPECT_TRUE(Native(folder).ends_with(end)) << status;
    EXPECT_TRUE(end.ends_with("with notes") && end.size() >= 30) << "the folder's own name, its end kept: " << status;
    if (!screenshot.empty()) {
        EXPECT_EQ(shot, "") << screenshot;
    }
}

// The bar's positions from 20 on, each once, as the watcher saw them while
// the status line named `folder`.
std::vector<int> BarPositions(const WatchedRun& run, const std::string& title, const fs::path& folder) {
    const std::string prefix = title + "|Please wait ...|";
    std::vector<int> positions;
    for (const std::string& line : run.lines) {
        if (line.rfind(prefix, 0) != 0) continue;
        const std::size_t bar = line.find('|', prefix.size());
        if (bar == std::string::npos || !StatusNames(line.substr(prefix.size(), bar - prefix.size()), Native(folder)))
            continue;
        const int position = std::atoi(line.c_str() + bar + 1);
        // 15 while the folder is listed, before the first file.
        if (position >= 20 && (positions.empty() || positions.back() != position)) positions.push_back(position);
    }
    return positions;
}

// The bar moves with the bytes read, within one large file too, a few times
// a second: a build of five files of 192 MiB read one after another rises
// through each file's share of the bar, and a build and a check of one
// file of 1 GiB do not stand at one place while it is read.
TEST_F(WindowsTest, TheBarRisesWithTheBytesReadWithinALargeFile) {
    const fs::path tree = box_.work() / "tree";
    // The bar follows a large file's bytes read four times a second: each
    // file takes long enough to hash for that to be seen more than once.
    for (char name = 'a'; name < 'f'; ++name) WriteSparseFile(tree / (std::string(1, name) + ".bin"), 512ULL << 20);
    // One file at a time, so that every step is on the screen for a while:
    // one thread, and one stream (the lanes would take all five at once).
    const std::map<std::string, std::string> oneStream = {{"SUMVANE_THREADS", "1"}, {"SUMVANE_MD5", "cryptoapi"}};
    const WatchedRun build = RunWatchingProgress(box_, {"-f" + Native(tree), "-c"}, oneStream);
    EXPECT_EQ(build.result.exitCode, 0);
    EXPECT_EQ(build.watcherStatus, 0) << build.Said();
    std::vector<int> positions = BarPositions(build, "Building MD5 Archive File", tree);
    EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end())) << build.Said();
    // 20 + 80 x files done / 5 as each file begins, and places between them.
    const auto between = std::count_if(positions.begin(), positions.end(),
                                       [](int p) { return p != 20 && p != 36 && p != 52 && p != 68 && p != 84; });
    EXPECT_GE(between, 5) << build.Said();
    EXPECT_LE(positions.back(), 100);

    const fs::path one = box_.work() / "one";
    WriteSparseFile(one / "big.bin", 1ULL << 30);
    for (const std::string option : {"-c", "-v"}) {
        SCOPED_TRACE(option);
        const WatchedRun run = RunWatchingProgress(box_, {"-f" + Native(one), option}, oneStream);
        EXPECT_EQ(run.result.exitCode, 0);
        EXPECT_EQ(run.watcherStatus, 0) << run.Said();
        const std::string title = option == "-c" ? "Building MD5 Archive File" : "Checking MD5 Archive File";
        positions = BarPositions(run, title, one);
        EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end())) << run.Said();
        // 20 as the file begins, then on while it is read.
        EXPECT_GE(positions.size(), 4u) << run.Said();
        ASSERT_FALSE(positions.empty());
        EXPECT_GE(positions.back(), 60) << run.Said();
    }
}
}  // namespace
}  // namespace e2e
