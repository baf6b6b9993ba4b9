// Help on Linux: xdg-open in a graphical session, otherwise the plain text
// on standard error; and the generated help document itself.
#ifndef _WIN32

#include "help_viewer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <optional>
#include <regex>
#include <string>
#include <thread>

#include "embedded.h"
#include "posix_test_support.h"

namespace {

using posix_test::Exists;
using posix_test::ReadFile;
using posix_test::ScopedEnv;
using posix_test::TempDir;
using TesselLibrary::DisplayHelp;
namespace Embedded = TesselLibrary::Embedded;

const std::string kOptions[] = {"-c", "-f", "-h",  "-i", "-n", "-o",     "-r",
                                "-u", "-v", "-vc", "-x", "-z", "--help", "--version"};

std::string HelpText() {
    return std::string(reinterpret_cast<const char*>(Embedded::helpText), Embedded::helpText_size);
}
std::string HelpPage() {
    return std::string(reinterpret_cast<const char*>(Embedded::helpPage), Embedded::helpPage_size);
}

// Sends file descriptor 2 into a file for the scope of the object.
class StderrCapture {
public:
    StderrCapture() : path_(folder_ / "stderr") {
        saved_ = ::dup(STDERR_FILENO);
        const int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(fd, STDERR_FILENO);
        ::close(fd);
    }
    ~StderrCapture() { Restore(); }
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

    std::string Finish() {
        Restore();
        return ReadFile(path_).value_or("<no capture>");
    }

private:
    void Restore() {
        if (saved_ < 0) return;
        ::dup2(saved_, STDERR_FILENO);
        ::close(saved_);
        saved_ = -1;
    }

    TempDir folder_;
    std::string path_;
    int saved_ = -1;
};

// Waits up to five seconds for a file another process writes.
std::optional<std::string> AwaitFile(const std::string& path) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < until) {
        if (Exists(path + ".done")) return ReadFile(path);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return std::nullopt;
}

class HelpViewerTest : public ::testing::Test {
protected:
    // A fake xdg-open that records its arguments, marks the record complete
    // and then stays a while, as a real viewer does.
    void AddRecordingViewer() const {
        posix_test::WriteFile(bin / "xdg-open",
                              "#!/bin/sh\nprintf '%s|%s' \"$#\" \"$1\" > '" + record() + "'\n: > '" + record() +
                                  ".done'\nexec /bin/sleep 3\n",
                              0755);
    }
    std::string record() const { return records / "opened"; }

    TempDir bin;
    TempDir records;
    ScopedEnv path{"PATH", bin.path()};
    ScopedEnv display{"DISPLAY", std::nullopt};
    ScopedEnv wayland{"WAYLAND_DISPLAY", std::nullopt};
};

TEST_F(HelpViewerTest, WithoutViewerThePlainTextGoesToStandardError) {
    struct Case {
        const char* what;
        std::optional<std::string> display, wayland;
        bool viewerOnPath;
    };
    const Case cases[] = {
        {"no graphical session", std::nullopt, std::nullopt, true},
        {"x11 without xdg-open", ":0", std::nullopt, false},
        {"wayland without xdg-open", std::nullopt, "wayland-0", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir caseBin;
        ScopedEnv casePath("PATH", caseBin.path());
        ScopedEnv x("DISPLAY", c.display);
        ScopedEnv w("WAYLAND_DISPLAY", c.wayland);
        if (c.viewerOnPath) posix_test::WriteFile(caseBin / "xdg-open", "#!/bin/sh\n: > '" + record() + "'\n", 0755);

        StderrCapture capture;
        DisplayHelp(u"/tmp/Sumvane.html");
        const std::string written = capture.Finish();

        EXPECT_EQ(written, HelpText());
        EXPECT_NE(written.find("\n-vc\t"), std::string::npos);
        EXPECT_FALSE(Exists(record()));
    }
}

TEST_F(HelpViewerTest, GraphicalSessionHandsThePathToXdgOpen) {
    ScopedEnv x("DISPLAY", ":0");
    AddRecordingViewer();

    StderrCapture capture;
    const auto start = std::chrono::steady_clock::now();
    DisplayHelp(u"/tmp/help folder/H\u00e9lp \"1\".html");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500)) << "waited for the viewer";
    const std::string written = capture.Finish();

    EXPECT_EQ(AwaitFile(record()), "1|/tmp/help folder/H\xc3\xa9lp \"1\".html");
    EXPECT_EQ(written, "");
    // The viewer was started through a child that is already reaped, so
    // nothing is left for this process to wait for.
    errno = 0;
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

// A viewer that is found but cannot be started counts as no viewer.
TEST_F(HelpViewerTest, ViewerThatCannotStartFallsBackToText) {
    ScopedEnv w("WAYLAND_DISPLAY", "wayland-0");
    posix_test::WriteFile(bin / "xdg-open", std::string("\x01\x02 not a program", 16), 0755);

    StderrCapture capture;
    DisplayHelp(u"/tmp/Sumvane.html");
    EXPECT_EQ(capture.Finish(), HelpText());
}

TEST(HelpDocumentTest, PlainTextIsTidyAndComplete) {
    const std::string text = HelpText();
    ASSERT_FALSE(text.empty());
    // The help's own tags; a value's name such as "<Folder>" is text.
    EXPECT_FALSE(std::regex_search(
        text,
        std::regex("</?(html|head|body|title|meta|h[1-6]|p|div|ul|ol|li|table|tr|th|td|code|b|i|a|br|hr|pre)\\b|<!",
                   std::regex::icase)))
        << "a tag survived";
    EXPECT_FALSE(std::regex_search(text, std::regex("&(amp|lt|gt|quot|nbsp|#[0-9]+);"))) << "an entity survived";
    EXPECT_FALSE(std::regex_search(text, std::regex("(^|\n)[ \t]|[ \t](\n|$)"))) << "untrimmed line";
    EXPECT_EQ(text.find("\n\n\n"), std::string::npos);
    EXPECT_EQ(text.back(), '\n');
    // One table row per option: the option, a tab, its value and effect.
    for (const std::string& option : kOptions) {
        EXPECT_NE(text.find("\n" + option + "\t"), std::string::npos) << option;
    }
    for (const char* needed : {"Sumvane.md5", "Sumvane.md5X", ".md5x", "Brackenfold",
                               "https://sumvane.brackenfold.example", "wl-copy", "KDE", "GNOME Files"}) {
        EXPECT_NE(text.find(needed), std::string::npos) << needed;
    }
}

TEST(HelpDocumentTest, PageIsOneSelfContainedDocument) {
    const std::string page = HelpPage();
    const std::string ids[] = {"id=\"toc\"", "id=\"overview\"", "id=\"command-line\"", "id=\"contact\""};
    std::size_t previous = 0;
    for (const std::string& id : ids) {
        const std::size_t at = page.find(id);
        ASSERT_NE(at, std::string::npos) << id;
        EXPECT_GT(at, previous) << id << " out of order";
        previous = at;
    }
    EXPECT_EQ(page.find(".html\""), std::string::npos) << "a link still points at a separate page";
    EXPECT_EQ(page.find("<script"), std::string::npos);
    EXPECT_EQ(page.find("src="), std::string::npos);
    EXPECT_EQ(page.find("<body"), page.rfind("<body"));
    EXPECT_NE(page.find("href=\"#command-line\""), std::string::npos);
}

}  // namespace

#endif  // _WIN32
