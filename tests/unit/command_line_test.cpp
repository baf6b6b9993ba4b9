// The tokenizer and the option table.
#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "checksum_app.h"
#include "command_line.h"
#include "platform.h"
#include "platform_rules.h"
#include "text.h"

namespace {

using Args = std::vector<std::u16string>;

// The notes of reading `arguments` over `settings`, which then hold what was read.
Args Read(const Args& arguments, RunSettings& settings) {
    ParsedCommandLine parsed = parseArguments(arguments, settings);
    settings = std::move(parsed.settings);
    return parsed.notes;
}

struct SplitCase {
    const char* what;
    std::u16string line;
    Args expected;
};

class SplitCommandLineTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitCommandLineTest, Splits) { EXPECT_EQ(splitCommandLine(GetParam().line), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Rules, SplitCommandLineTest,
    ::testing::Values(SplitCase{"empty", u"", {}}, SplitCase{"white space only", u" \t \r\n", {}},
                      SplitCase{"runs of white space", u"a  \t b\x0B\x0C c", {u"a", u"b", u"c"}},
                      SplitCase{"quotes anywhere", u"-f\"C:\\My Data\"\\2010 x", {u"-fC:\\My Data\\2010", u"x"}},
                      SplitCase{"quoted whole", u"\"-fC:\\My Data\"", {u"-fC:\\My Data"}},
                      SplitCase{"empty pair then white space", u"a \"\" b", {u"a", u"", u"b"}},
                      SplitCase{"trailing empty pair", u"a \"\"", {u"a"}},
                      SplitCase{"unclosed quote runs to the end", u"a \"b c  d", {u"a", u"b c  d"}},
                      SplitCase{"backslash is ordinary", u"a\\\" b\"", {u"a\\ b"}},
                      SplitCase{"U+7FFF ends an argument", u"ab\u7FFFcd", {u"ab", u"cd"}},
                      SplitCase{"U+7FFF after white space gives an empty argument", u"a \u7FFFb", {u"a", u"", u"b"}},
                      SplitCase{"U+7FFF inside quotes is kept", u"\"a\u7FFFb\"", {u"a\u7FFFb"}},
                      SplitCase{"line ends at NUL", std::u16string(u"a b\0c", 5), {u"a", u"b"}},
                      SplitCase{"non-breaking space is ordinary", u"a\u00A0b \u3000c", {u"a\u00A0b", u"\u3000c"}}),
    [](const auto& info) {
        std::string name;
        for (const char c : std::string(info.param.what))
            name.push_back(std::isalnum(static_cast<unsigned char>(c)) ? c : '_');
        return name;
    });

TEST(SplitCommandLine, ArgumentsMayOutgrowTheReservedBuffer) {
    const std::u16string longArgument(2000, u'x');
    EXPECT_EQ(splitCommandLine(u"a " + longArgument + u" b"), (Args{u"a", longArgument, u"b"}));
}

struct Settings {
    std::u16string singleFile, folder, outputFolder;
    bool folderGiven, rewriteOnDifference, create, showHelp, installVerb, hashToClipboard, recursive, uninstallVerb,
        verify;
    std::vector<std::u16string> excluded;
    InformationRequest information;
    std::optional<std::u16string> metrics, json;
    std::optional<std::u16string> copy;
};

Settings Apply(const Args& arguments) {
    RunSettings app;
    Read(arguments, app);
    return {app.singleFile,
            app.folder,
            app.reports.outputFolder,
            app.folderGiven,
            app.check.rewriteOnDifference,
            app.create,
            app.startup.showHelp,
            app.startup.installVerb,
            app.startup.hashToClipboard,
            app.walk.recursive,
            app.startup.uninstallVerb,
            app.verify,
            app.walk.excludedFolders,
            app.startup.informationRequest,
            app.reports.metricsFile,
            app.reports.jsonReportFile,
            app.check.copyFolder};
}

TEST(ApplyArgument, DefaultsSelectNothingButHelp) {
    const Settings s = Apply({});
    EXPECT_TRUE(s.showHelp);
    EXPECT_FALSE(s.folderGiven || s.rewriteOnDifference || s.create || s.installVerb || s.hashToClipboard ||
                 s.recursive || s.uninstallVerb || s.verify);
    EXPECT_EQ(ChecksumApp{}.settings.summaryName, u"Sumvane.md5");
}

TEST(ApplyArgument, LettersAreCaseInsensitiveAndVcLooksAtTheThirdCharacter) {
    for (const char16_t* option : {u"-v", u"-V", u"-vx", u"-verify"}) {
        const Settings s = Apply({option});
        EXPECT_TRUE(s.verify);
        EXPECT_FALSE(s.rewriteOnDifference);
        EXPECT_FALSE(s.showHelp);
    }
    for (const char16_t* option : {u"-vc", u"-VC", u"-vC", u"-vcanything"}) {
        const Settings s = Apply({option});
        EXPECT_TRUE(s.verify);
        EXPECT_TRUE(s.rewriteOnDifference);
    }
    // -a reads the letters after it as options of their own.
    const struct {
        const char16_t* option;
        bool verify, rewrite;
    } additions[] = {{u"-a", false, false}, {u"-A", false, false}, {u"-av", true, false},
                     {u"-avc", true, true}, {u"-aVC", true, true}, {u"-aq", false, false}};
    for (const auto& c : additions) {
        RunSettings app;
        Read({c.option}, app);
        EXPECT_TRUE(app.check.additions);
        EXPECT_EQ(app.verify, c.verify);
        EXPECT_EQ(app.check.rewriteOnDifference, c.rewrite);
        EXPECT_FALSE(app.startup.showHelp);
    }
}

TEST(ApplyArgument, FlagOptionsIgnoreTheirRest) {
    const Settings s = Apply({u"-recursive", u"-Create", u"-install", u"-uninstall"});
    EXPECT_TRUE(s.recursive);
    EXPECT_TRUE(s.create);
    EXPECT_TRUE(s.installVerb);
    EXPECT_TRUE(s.uninstallVerb);
    EXPECT_FALSE(s.verify);
    EXPECT_FALSE(s.folderGiven);
}

TEST(ApplyArgument, UnknownLettersAndHelpLeaveShowHelp) {
    EXPECT_TRUE(Apply({}).showHelp);
    EXPECT_TRUE(Apply({u"-h"}).showHelp);
    EXPECT_TRUE(Apply({u"-h", u"-q", u"-9", u"-?", u"-"}).showHelp);
    EXPECT_FALSE(Apply({u"-h", u"-r"}).showHelp);
    EXPECT_FALSE(Apply({u"-o"}).showHelp);
}

TEST(ApplyArgument, LastValueWins) {
    Settings s = Apply({u"-na.txt", u"-n"});
    EXPECT_EQ(s.singleFile, u"");
    s = Apply({u"-za.txt", u"-nb.txt"});
    EXPECT_EQ(s.singleFile, u"b.txt");
    EXPECT_TRUE(s.hashToClipboard);
    s = Apply({u"-fone", u"-ftwo", u"-oA", u"-oB"});
    EXPECT_EQ(s.folder, u"two");
    EXPECT_EQ(s.outputFolder, u"B");
    s = Apply({u"-f"});
    EXPECT_TRUE(s.folderGiven);
    EXPECT_EQ(s.folder, u"");
    s = Apply({u"-f", u"one", u"-f", u"two"});
    EXPECT_EQ(s.folder, u"two");
}

TEST(ApplyArgument, ExclusionsAreKeptAsTypedInOrder) {
    Settings s = Apply({u"-xBackups", u"-xbackups", u"-xOld/2009/", u"-x"});
    EXPECT_EQ(s.excluded, (Args{u"Backups", u"backups", u"Old/2009/", u""}));
    s = Apply({u"-x", u"Backups", u"-xOld", u"-X", u"tmp", u"-x", u"-r"});
    EXPECT_EQ(s.excluded, (Args{u"Backups", u"Old", u"tmp", u""}));
    EXPECT_FALSE(s.folderGiven);
}

#ifdef _WIN32
const std::u16string kPath = u"C:\\My Data";
const char16_t* const kSwitches[] = {u"-", u"/"};
#else
const std::u16string kPath = u"/srv/my data";
const char16_t* const kSwitches[] = {u"-"};
#endif

// The setting a value option writes.
std::u16string ValueOf(char16_t letter, const Settings& s) {
    switch (letter) {
        case u'f': return s.folder;
        case u'o': return s.outputFolder;
        case u'm': return s.metrics.value_or(u"<none>");
        case u'j': return s.json.value_or(u"<none>");
        case u'x': return s.excluded.empty() ? u"<none>" : s.excluded.back();
        case u'b': return s.copy.value_or(u"<none>");
        default: return s.singleFile;  // n, z
    }
}

// A value option with nothing attached takes the next argument, unless that
// is an option; an attached value leaves the next argument alone.
TEST(ApplyArguments, AValueOptionTakesTheNextArgumentUnlessItIsAnOption) {
    struct Case {
        const char* what;
        bool attached;  // kPath right after the letter
        Args rest;
        std::u16string value;
        bool recursive;  // "-r" (or "/r") was an option
        bool bare;       // an argument was left to mean: verify the folder holding it
    };
    const Case cases[] = {
        {"attached", true, {}, kPath, false, false},
        {"separate", false, {kPath}, kPath, false, false},
        {"separate, then an option", false, {kPath, u"-r"}, kPath, true, false},
        {"missing at the end", false, {}, u"", false, false},
        {"next is an option", false, {u"-r"}, u"", true, false},
        {"next is an empty argument", false, {u""}, u"", false, false},
        {"attached, then a bare name", true, {u"Sumvane.md5"}, kPath, false, true},
#ifdef _WIN32
        {"next starts with a slash: an option", false, {u"/r"}, u"", true, false},
#else
        {"next starts with a slash: a path", false, {u"/r"}, u"/r", false, false},
#endif
    };
    for (const char16_t* switchText : kSwitches) {
        for (const char16_t letter :
             {u'b', u'f', u'j', u'm', u'n', u'o', u'x', u'z', u'B', u'F', u'J', u'M', u'N', u'O', u'X', u'Z'}) {
            const char16_t lower = letter | 0x20;
            for (const Case& c : cases) {
                std::u16string option = std::u16string(switchText) + letter;
                if (c.attached) option += kPath;
                Args arguments{option};
                arguments.insert(arguments.end(), c.rest.begin(), c.rest.end());
                SCOPED_TRACE(std::string(c.what) + ", option " + static_cast<char>(switchText[0]) +
                             static_cast<char>(letter));
                const Settings s = Apply(arguments);
                // A bare argument sets the folder too: the one holding it, here "".
                EXPECT_EQ(ValueOf(lower, s), lower == u'f' && c.bare ? u"" : c.value);
                EXPECT_EQ(s.recursive, c.recursive);
                EXPECT_EQ(s.verify, c.bare);
                EXPECT_EQ(s.folderGiven, lower == u'f' || c.bare);
                EXPECT_EQ(s.hashToClipboard, lower == u'z');
                EXPECT_FALSE(s.showHelp);
            }
        }
    }
}

// Options without a value never take the next argument.
TEST(ApplyArguments, OtherOptionsLeaveTheNextArgumentBare) {
    for (const char16_t* option : {u"-c", u"-v", u"-r", u"-h", u"-q"}) {
        const Settings s = Apply({option, kPath + u"/Sumvane.md5"});
        EXPECT_TRUE(s.verify);
        EXPECT_TRUE(s.folderGiven);
        EXPECT_NE(s.folder, u"");
    }
}

TEST(ApplyArguments, HelpAndVersionAreLongOptionsOnLinuxOnly) {
    struct Case {
        Args arguments;
        InformationRequest onLinux;
    };
    const Case cases[] = {
        {{u"--help"}, InformationRequest::Help},
        {{u"-f", u"--version", u"-c"}, InformationRequest::Version},
        {{u"--version", u"--help"}, InformationRequest::Version},
        {{u"--helpme", u"--Help", u"---help", u"-help", u"-x--help"}, InformationRequest::None},
    };
    for (const Case& c : cases) {
        const Settings s = Apply(c.arguments);
        EXPECT_EQ(s.information, kHelpAndVersionOptions ? c.onLinux : InformationRequest::None);
    }
    // A single dash keeps its meaning: "-help" is "-h", "-version" is "-v".
    EXPECT_TRUE(Apply({u"-help"}).showHelp);
    EXPECT_TRUE(Apply({u"-version"}).verify);
}

// One note for each option ignored in whole or in part, in order, then one
// when the run selects no work; the same on every platform (only Linux
// shows them).
TEST(ApplyArguments, NotesSayWhatWasIgnoredAndWhenNothingIsToBeDone) {
    const std::u16string noTarget = u"nothing to do: no folder (-f), file (-n) or path was given";
    const std::u16string noAction = u"nothing to do: neither -c (record) nor -v (check) was given";
    struct Case {
        Args arguments;
        Args notes;
    };
    const Case cases[] = {
        // Nothing is said where the work is named whole, or the help is shown.
        {{}, {}},
        {{u"-h"}, {}},
        {{u"-f/data", u"-r", u"-c"}, {}},
        {{u"-f", u"data", u"-vc", u"-x", u"old", u"-o", u"logs"}, {}},
        {{u"-n/a.txt", u"-v"}, {}},
        {{u"Sumvane.md5"}, {}},
        {{u""}, {}},
        {{u"-i"}, {}},
        {{u"-u"}, {}},
        {{u"-z/a.txt"}, {}},
        // Unknown letters, a lone switch and "-h" beside other options.
        {{u"-q"}, {u"ignoring unknown option -q"}},
        {{u"-h", u"-q", u"-?"}, {u"ignoring unknown option -q", u"ignoring unknown option -?"}},
        {{u"-f/data", u"-c", u"-"}, {u"ignoring -: an option letter must follow it"}},
        {{u"-h", u"-r"}, {u"ignoring -h: the help is shown only when no other option is given", noTarget}},
        {{u"-f/data", u"-help", u"-c"}, {u"ignoring -help: the help is shown only when no other option is given"}},
        {{u"-f/data", u"-c", u"--verbose"}, {u"ignoring unknown option --verbose"}},
        // A letter whose rest is ignored, and the rest as options of their own.
        {{u"-f/data", u"-rc"}, {u"-rc is read as -r (the rest is ignored); write -r -c", noAction}},
        {{u"-f/data", u"-RC"}, {u"-RC is read as -R (the rest is ignored); write -R -C", noAction}},
        {{u"-f/data", u"-recursive", u"-c"}, {u"-recursive is read as -r (the rest is ignored)"}},
        {{u"-f/data", u"-vx"}, {u"-vx is read as -v (the rest is ignored)"}},
        {{u"-f/data", u"-verify"}, {u"-verify is read as -v (the rest is ignored)"}},
        {{u"-f/data", u"-vcr"}, {u"-vcr is read as -vc (the rest is ignored); write -vc -r"}},
        {{u"-f/data", u"-crv"}, {u"-crv is read as -c (the rest is ignored); write -c -r -v"}},
        {{u"-rf/data", u"-c"}, {u"-rf/data is read as -r (the rest is ignored)", noTarget}},
        {{u"-rf", u"data"}, {u"-rf is read as -r (the rest is ignored)"}},  // "data" then verifies ""
        {{u"-install"}, {u"-install is read as -i (the rest is ignored)"}},
        {{u"-uninstall"}, {u"-uninstall is read as -u (the rest is ignored)"}},
        {{u"-f/data", u"-r", u"-avc"}, {}},
        {{u"-f/data", u"-avx"}, {u"-avx is read as -av (the rest is ignored)"}},
        {{u"-f/data", u"-aq", u"-v"}, {u"-aq is read as -a (the rest is ignored)"}},
        {{u"-f/data", u"-c", u"-ca"}, {u"-ca is read as -c (the rest is ignored); write -c -a"}},
        {{u"-f/data", u"-c", u"-a"},
         {u"ignoring -a: new files are looked for only when a folder is checked (-v or -vc)"}},
        // A line break typed into an argument is shown, not obeyed.
        {{u"-f/data", u"-c", u"-q\nx"}, {u"ignoring unknown option -q\\nx"}},
        // Options, but no work.
        {{u"-r"}, {noTarget}},
        {{u"-c", u"-v", u"-x/data/old", u"-o/logs"}, {noTarget}},
        {{u"-n"}, {noTarget}},
        {{u"-f/data"}, {noAction}},
        {{u"-n/a.txt", u"-r"}, {}},  // the file is still read, and reported when it cannot be
        // A time for a check in slices times a folder's check only.
        {{u"-f/data", u"-v", u"-t5s"}, {}},
        {{u"-f/data", u"-c", u"-t", u"90"}, {u"ignoring -t: it sets the time of a folder's check (-v)"}},
        {{u"-n/a.txt", u"-v", u"-t2h"}, {u"ignoring -t: it sets the time of a folder's check (-v)"}},
    };
    for (const Case& c : cases) {
        RunSettings settings;
        std::string line;
        for (const std::u16string& argument : c.arguments) line += " " + TesselLibrary::ToSystemBytes(argument);
        EXPECT_EQ(Read(c.arguments, settings), c.notes) << line;
    }
    // A folder to leave out that no folder below -f can match.
    const std::u16string whole = TesselLibrary::kWindowsBuild ? u"D:\\data\\old" : u"/data/old";
    const Case unmatched[] = {
        {{u"-f/data", u"-c", u"-x" + whole},
         {u"-x" + whole + u" leaves nothing out: name the folder as it lies below -f"}},
        {{u"-f/data", u"-c", u"-x", u"old/"},
         {u"-xold/ leaves nothing out: name the folder without a separator at its end"}},
    };
    for (const Case& c : unmatched) {
        RunSettings settings;
        EXPECT_EQ(Read(c.arguments, settings), c.notes);
    }
    // The answer to "--help" or "--version" is the whole run.
    RunSettings settings;
    const Args expected = kHelpAndVersionOptions
                              ? Args{}
                              : Args{u"ignoring unknown option --version", u"ignoring unknown option -q",
                                     u"-rc is read as -r (the rest is ignored); write -r -c", noTarget};
    EXPECT_EQ(Read({u"--version", u"-q", u"-rc"}, settings), expected);
}

// -t takes minutes, or seconds, minutes or hours with a unit; a time that is
// none, or one beside options that need the whole summary, refuses the run
// and says why. -b, the copy to heal from, goes with a folder's check only.
TEST(ApplyArguments, ATimeForSlicesAndACopyToHealFromAreReadOrTheRunRefused) {
    const std::u16string healing;
    const std::u16string noCheck =
        u"-b cannot be used without a folder's check: it heals what -f and -v (or -vc) find damaged";
    const std::u16string noCopy = u"-b: name the copy of the folder checked (-b/mnt/backup/photos)";
    struct Case {
        Args arguments;
        std::optional<std::uint64_t> seconds;
        std::u16string refusal;
        std::optional<std::u16string> copy = std::nullopt;
    };
    std::vector<Case> cases = {
        {{u"-f/d", u"-v", u"-b/mnt/d"}, {}, healing, u"/mnt/d"},
        {{u"-f/d", u"-b", u"backup", u"-vc"}, {}, healing, u"backup"},  // "/mnt/d" is an option on Windows
        {{u"-f/d", u"-av", u"-B/mnt/d"}, {}, healing, u"/mnt/d"},
        {{u"-f/d", u"-v", u"-t2h", u"-b/mnt/d"}, 7200, healing, u"/mnt/d"},
        {{u"-c", u"-v", u"-f/d", u"-b/mnt/d"}, {}, healing, u"/mnt/d"},
        {{u"-f/d", u"-c", u"-b/mnt/d"}, {}, noCheck, u"/mnt/d"},
        {{u"-n/a.txt", u"-v", u"-b/mnt/d"}, {}, noCheck, u"/mnt/d"},
        {{u"-v", u"-b/mnt/d"}, {}, noCheck, u"/mnt/d"},
        {{u"-b/mnt/d"}, {}, noCheck, u"/mnt/d"},
        {{u"-f/d", u"-v", u"-b"}, {}, noCopy, u""},
        {{u"-f/d", u"-v", u"-b", u"-r"}, {}, noCopy, u""},
        {{u"-f/d", u"-v", u"-t90"}, 5400, u""},
        {{u"-f/d", u"-v", u"-t", u"90"}, 5400, u""},
        {{u"-f/d", u"-v", u"-T2h"}, 7200, u""},
        {{u"-f/d", u"-v", u"-t5s"}, 5, u""},
        {{u"-f/d", u"-v", u"-t5S"}, 5, u""},
        {{u"-f/d", u"-v", u"-t15m"}, 900, u""},
        {{u"-f/d", u"-v", u"-t1000000h"}, std::uint64_t{1000000} * 3600, u""},  // the longest
        {{u"-f/d", u"-v", u"-t60000000"}, std::uint64_t{1000000} * 3600, u""},
        {{u"-f/d", u"-v", u"-t0000000000002h"}, 7200, u""},
        {{u"-f/d", u"-v", u"-t1s", u"-t2m"}, 120, u""},  // the last one counts
        {{u"-f/d", u"-v", u"-tx"},
         {},
         u"-tx: not a time; give minutes (-t90), or a number with s, m or h after it (-t30s, -t2h)"},
        {{u"-f/d", u"-v", u"-t0"},
         {},
         u"-t0: not a time; give minutes (-t90), or a number with s, m or h after it (-t30s, -t2h)"},
        {{u"-f/d", u"-v", u"-t5d"},
         {},
         u"-t5d: not a time; give minutes (-t90), or a number with s, m or h after it (-t30s, -t2h)"},
        {{u"-f/d", u"-v", u"-t1000001h"}, {}, u"-t1000001h: too long a time; give at most 1000000 hours (-t1000000h)"},
        {{u"-f/d", u"-v", u"-t9999999h"}, {}, u"-t9999999h: too long a time; give at most 1000000 hours (-t1000000h)"},
        {{u"-f/d", u"-v", u"-t3600000001s"},
         {},
         u"-t3600000001s: too long a time; give at most 1000000 hours (-t1000000h)"},
        {{u"-f/d", u"-v", u"-t184467440737095516160s"},
         {},  // past 64 bits
         u"-t184467440737095516160s: too long a time; give at most 1000000 hours (-t1000000h)"},
        {{u"-f/d", u"-v", u"-t1000000000h"},
         {},
         u"-t1000000000h: too long a time; give at most 1000000 hours (-t1000000h)"},
        {{u"-f/d", u"-v", u"-t", u"-r"},
         {},
         u"-t: not a time; give minutes (-t90), or a number with s, m or h after it (-t30s, -t2h)"},
        {{u"-f/d", u"-vc", u"-t2h"}, 7200, u"-t cannot be used with -vc: a rewrite needs the whole summary"},
        {{u"-t2h", u"-f/d", u"-vC"}, 7200, u"-t cannot be used with -vc: a rewrite needs the whole summary"},
        {{u"-f/d", u"-a", u"-v", u"-t2h"},
         7200,
         u"-t cannot be used with -a: new files are found by a walk of the whole folder"},
        {{u"-f/d", u"-at2h", u"-v"},
         7200,
         u"-t cannot be used with -a: new files are found by a walk of the whole folder"},
    };
    if (TesselLibrary::kWindowsBuild) {
        // A Windows command line's own spelling: "/b", the value attached or next.
        cases.push_back({{u"/f", u"D:\\Photos", u"/v", u"/b", u"E:\\Photos"}, {}, healing, u"E:\\Photos"});
        cases.push_back({{u"/fD:\\Photos", u"/V", u"/BE:\\Photos"}, {}, healing, u"E:\\Photos"});
        cases.push_back({{u"/fD:\\Photos", u"/v", u"/b", u"/r"}, {}, noCopy, u""});
    }
    for (const Case& c : cases) {
        RunSettings settings;
        std::string line;
        for (const std::u16string& argument : c.arguments) line += " " + TesselLibrary::ToSystemBytes(argument);
        EXPECT_EQ(Read(c.arguments, settings), Args{}) << line;
        EXPECT_EQ(settings.check.sliceSeconds, c.seconds) << line;
        EXPECT_EQ(settings.startup.refusal, c.refusal) << line;
        EXPECT_EQ(settings.check.copyFolder, c.copy) << line;
    }
}

// -m and -j name files the figures of a folder's run go to: without such a
// run, or without a file, the run is refused and says why.
TEST(ApplyArguments, TheReportFilesGoWithAFoldersRun) {
    const std::u16string noRun = u" goes with the check (-v) or the build (-c) of a folder (-f)";
    const std::u16string figures = u"the run's figures for Prometheus", report = u"the run's JSON report";
    const struct Case {
        Args arguments;
        std::u16string refusal;
    } cases[] = {
        {{u"-f/d", u"-v", u"-m/var/lib/node/sumvane.prom"}, u""},
        {{u"-f/d", u"-c", u"-m", u"m.prom", u"-j", u"r.json"}, u""},
        {{u"-J/r.json", u"-M/m.prom", u"d/Sumvane.md5"}, u""},  // a path: a folder's check
        {{u"-f/d", u"-v", u"-t2h", u"-m/m.prom"}, u""},
        {{u"-f/d", u"-m/m.prom"}, u"-m" + noRun},
        {{u"-n/a.txt", u"-v", u"-m/m.prom"}, u"-m" + noRun},
        {{u"-z/a.txt", u"-j/r.json"}, u"-j" + noRun},
        {{u"-f/d", u"-v", u"-m"}, u"-m needs a file: the one " + figures + u" goes to"},
        {{u"-f/d", u"-m", u"-v"}, u"-m needs a file: the one " + figures + u" goes to"},
        {{u"-f/d", u"-v", u"-j", u""}, u"-j needs a file: the one " + report + u" goes to"},
        {{u"-f/d", u"-v", u"-m/x", u"-j/x"}, u"-m and -j name the same file: /x"},
        // A line end typed into the name stays visible in the one line said.
        {{u"-f/d", u"-v", u"-m/x\n", u"-j/x\n"}, u"-m and -j name the same file: /x\\n"},
        {{u"-f/d", u"-vc", u"-t2h", u"-m"}, u"-t cannot be used with -vc: a rewrite needs the whole summary"},
    };
    for (const Case& c : cases) {
        RunSettings settings;
        std::string line;
        for (const std::u16string& argument : c.arguments) line += " " + TesselLibrary::ToSystemBytes(argument);
        Read(c.arguments, settings);
        EXPECT_EQ(settings.startup.refusal, c.refusal) << line;
    }
}

TEST(ApplyArgument, BareArgumentVerifiesTheFolderHoldingIt) {
#ifdef _WIN32
    const char16_t* summary = u"C:\\Data\\Sumvane.md5";
    const char16_t* folder = u"C:\\Data\\";
#else
    const char16_t* summary = u"/data/Sumvane.md5";
    const char16_t* folder = u"/data/";
#endif
    Settings s = Apply({summary});
    EXPECT_TRUE(s.verify);
    EXPECT_TRUE(s.folderGiven);
    EXPECT_FALSE(s.showHelp);
    EXPECT_EQ(s.folder, folder);
    s = Apply({u"Sumvane.md5"});
    EXPECT_TRUE(s.folderGiven);
    EXPECT_EQ(s.folder, u"");
    s = Apply({u""});
    EXPECT_TRUE(s.verify);
    EXPECT_EQ(s.folder, u"");
}

TEST(ApplyArgument, SlashStartsAnOptionOnlyOnWindows) {
    const Settings s = Apply({u"/v"});
#ifdef _WIN32
    EXPECT_TRUE(s.verify);
    EXPECT_FALSE(s.folderGiven);
#else
    EXPECT_TRUE(s.folderGiven);  // an absolute path: verify "/"
    EXPECT_EQ(s.folder, u"/");
#endif
}

}  // namespace
