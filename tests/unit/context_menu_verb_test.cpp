// The context-menu verb on Linux: a KDE service menu and a GNOME Files
// script under the user's data folder.
#ifndef _WIN32

#include "context_menu_verb.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>
#include <string>

#include "posix_test_support.h"
#include "text.h"

namespace {

using posix_test::Exists;
using posix_test::Mode;
using posix_test::Names;
using posix_test::ReadFile;
using posix_test::ScopedEnv;
using posix_test::TempDir;
using TesselLibrary::InstallContextMenuVerb;
using TesselLibrary::RemoveContextMenuVerb;

class ContextMenuVerbTest : public ::testing::Test {
protected:
    std::string serviceMenu() const { return home / ".local/share/kio/servicemenus/sumvane.desktop"; }
    std::string script() const { return home / ".local/share/nautilus/scripts/Sumvane"; }
    std::string serviceMenuIn(const std::string& dataHome) const {
        return dataHome + "/kio/servicemenus/sumvane.desktop";
    }
    std::string scriptIn(const std::string& dataHome) const { return dataHome + "/nautilus/scripts/Sumvane"; }

    // The line of `text` that starts with `key`, without its line end.
    static std::string LineStarting(const std::string& text, const std::string& key) {
        const std::size_t start = text.find("\n" + key);
        if (start == std::string::npos) return {};
        const std::size_t end = text.find('\n', start + 1);
        return text.substr(start + 1, end - start - 1);
    }

    TempDir home;
    TempDir dataHome;
    ScopedEnv homeVariable{"HOME", home.path()};
    ScopedEnv dataHomeVariable{"XDG_DATA_HOME", dataHome.path()};
};

TEST_F(ContextMenuVerbTest, InstallWritesBothFilesExactlyAndExecutable) {
    InstallContextMenuVerb(u"Sumvane", u"/opt/My Tools/\"new\"/sumvane", u"-z");

    EXPECT_EQ(ReadFile(serviceMenuIn(dataHome.path())),
              "[Desktop Entry]\n"
              "Type=Service\n"
              "X-KDE-ServiceTypes=KonqPopupMenu/Plugin\n"
              "MimeType=all/allfiles;\n"
              "Actions=sumvane;\n"
              "\n"
              "[Desktop Action sumvane]\n"
              "Name=Sumvane\n"
              R"(Exec="/opt/My Tools/\\"new\\"/sumvane" "-z%f")"
              "\n");
    EXPECT_EQ(ReadFile(scriptIn(dataHome.path())),
              "#!/bin/sh\n"
              R"(exec "/opt/My Tools/\"new\"/sumvane" "-z$1")"
              "\n");
    EXPECT_EQ(Mode(serviceMenuIn(dataHome.path())), 0755);
    EXPECT_EQ(Mode(scriptIn(dataHome.path())), 0755);
}

TEST_F(ContextMenuVerbTest, EachFormatQuotesTheExecutableByItsOwnRules) {
    struct Case {
        const char* what;
        std::u16string executable;
        std::string execLine;    // the service menu's Exec line
        std::string scriptLine;  // the script's command line
    };
    const Case cases[] = {
        {"plain path", u"/usr/bin/sumvane", R"(Exec="/usr/bin/sumvane" "-z%f")", R"(exec "/usr/bin/sumvane" "-z$1")"},
        // Exec: reserved characters take a backslash, which the string
        // value escapes again; '%' doubles. Shell: one backslash each.
        {"shell specials", u"/opt/a$b`c\\d%e/sumvane", R"(Exec="/opt/a\\$b\\`c\\\\d%%e/sumvane" "-z%f")",
         R"(exec "/opt/a\$b\`c\\d%e/sumvane" "-z$1")"},
        {"non-ASCII name", u"/opt/Pr\u00fcfung/sumvane",
         "Exec=\"/opt/Pr\xc3\xbc"
         "fung/sumvane\" \"-z%f\"",
         "exec \"/opt/Pr\xc3\xbc"
         "fung/sumvane\" \"-z$1\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        InstallContextMenuVerb(u"Sumvane", c.executable, u"-z");
        EXPECT_EQ(LineStarting(ReadFile(serviceMenuIn(dataHome.path())).value_or(""), "Exec="), c.execLine);
        EXPECT_EQ(LineStarting(ReadFile(scriptIn(dataHome.path())).value_or(""), "exec "), c.scriptLine);
    }
}

// The script is run by a real shell: whatever the folder of the executable
// is called, the program must receive the prefixed path as one argument.
TEST_F(ContextMenuVerbTest, ScriptHandsTheChosenFileToTheExecutable) {
    TempDir tools;
    const std::string folder = tools / "we ird \"q\" $HOME `x` \\ end";
    const std::string record = tools / "argument";
    posix_test::WriteFile(folder + "/sumvane", "#!/bin/sh\nprintf '%s|%s' \"$#\" \"$1\" > '" + record + "'\n", 0755);

    InstallContextMenuVerb(u"Sumvane", TesselLibrary::FromSystemBytes(folder + "/sumvane"), u"-z");
    const std::string command = "/bin/sh '" + scriptIn(dataHome.path()) + "' '/data/my file.txt'";
    ASSERT_EQ(std::system(command.c_str()), 0);

    EXPECT_EQ(ReadFile(record), "1|-z/data/my file.txt");
}

TEST_F(ContextMenuVerbTest, InstallingAgainRewritesWithoutLeftovers) {
    InstallContextMenuVerb(u"Sumvane", u"/old/sumvane", u"-z");
    InstallContextMenuVerb(u"Sumvane", u"/new/sumvane", u"-z");

    const std::string menu = ReadFile(serviceMenuIn(dataHome.path())).value_or("");
    EXPECT_EQ(LineStarting(menu, "Exec="), R"(Exec="/new/sumvane" "-z%f")");
    EXPECT_EQ(menu.find("[Desktop Entry]"), menu.rfind("[Desktop Entry]"));
    EXPECT_EQ(LineStarting(ReadFile(scriptIn(dataHome.path())).value_or(""), "exec "), R"(exec "/new/sumvane" "-z$1")");
    EXPECT_EQ(Names(dataHome / "kio/servicemenus"), std::set<std::string>{"sumvane.desktop"});
    EXPECT_EQ(Names(dataHome / "nautilus/scripts"), std::set<std::string>{"Sumvane"});
}

TEST_F(ContextMenuVerbTest, RemoveDeletesBothAndLeavesOtherEntries) {
    InstallContextMenuVerb(u"Sumvane", u"/usr/bin/sumvane", u"-z");
    posix_test::WriteFile(dataHome / "kio/servicemenus/other.desktop", "[Desktop Entry]\n");

    RemoveContextMenuVerb(u"Sumvane");

    EXPECT_FALSE(Exists(serviceMenuIn(dataHome.path())));
    EXPECT_FALSE(Exists(scriptIn(dataHome.path())));
    EXPECT_TRUE(Exists(dataHome / "kio/servicemenus/other.desktop"));
}

TEST_F(ContextMenuVerbTest, RemoveWhenAbsentCreatesNothing) {
    const std::string missing = dataHome / "not-yet";
    ScopedEnv variable("XDG_DATA_HOME", missing);

    RemoveContextMenuVerb(u"Sumvane");

    EXPECT_FALSE(Exists(missing));
    EXPECT_TRUE(Names(home.path()).empty());
}

TEST_F(ContextMenuVerbTest, DataHomeFallsBackToHome) {
    struct Case {
        const char* what;
        std::optional<std::string> xdgDataHome;
    };
    // The base-directory rules ignore an unset, empty or relative value.
    const Case cases[] = {{"unset", std::nullopt}, {"empty", ""}, {"relative", "relative/share"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScopedEnv variable("XDG_DATA_HOME", c.xdgDataHome);
        InstallContextMenuVerb(u"Sumvane", u"/usr/bin/sumvane", u"-z");
        EXPECT_TRUE(Exists(serviceMenu()));
        EXPECT_TRUE(Exists(script()));
        RemoveContextMenuVerb(u"Sumvane");
        EXPECT_FALSE(Exists(serviceMenu()));
        EXPECT_FALSE(Exists(script()));
    }
    EXPECT_TRUE(Names(dataHome.path()).empty());
}

TEST_F(ContextMenuVerbTest, WithoutDataHomeOrHomeNothingIsWritten) {
    const std::string rootMenu = "/.local/share/kio/servicemenus/sumvane.desktop";
    const std::string rootScript = "/.local/share/nautilus/scripts/Sumvane";
    ASSERT_FALSE(Exists(rootMenu));
    ASSERT_FALSE(Exists(rootScript));
    ScopedEnv noDataHome("XDG_DATA_HOME", std::nullopt);
    ScopedEnv noHome("HOME", std::nullopt);
    TempDir workingFolder;
    const std::string previous = std::filesystem::current_path().string();
    std::filesystem::current_path(workingFolder.path());

    InstallContextMenuVerb(u"Sumvane", u"/usr/bin/sumvane", u"-z");

    std::filesystem::current_path(previous);
    EXPECT_TRUE(Names(workingFolder.path()).empty());
    EXPECT_FALSE(Exists(rootMenu));
    EXPECT_FALSE(Exists(rootScript));
}

}  // namespace

#endif  // _WIN32
