#include "command_line.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "console.h"
#include "platform.h"
#include "platform_rules.h"
#include "text.h"
#include "run_settings.h"
#include "folders.h"
#include "path.h"

using namespace TesselLibrary;

namespace {

bool IsWhiteSpace(char16_t c) { return (c >= 0x0009 && c <= 0x000D) || c == 0x0020; }

char16_t LowerAscii(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; }

bool IsOption(const std::u16string& argument) {
    return !argument.empty() && (argument[0] == u'-' || (kSlashStartsOption && argument[0] == u'/'));
}

// An option letter whose value is a path or a folder.
bool TakesValue(char16_t letter) {
    switch (LowerAscii(letter)) {
        case u'b':
        case u'f':
        case u'j':
        case u'm':
        case u'n':
        case u'o':
        case u't':
        case u'x':
        case u'z': return true;
        default: return false;
    }
}

// A letter whose option takes effect alone, whatever follows it: a switch
// (-c, -r), -v, and -a (whose rest is read as options of their own).
bool TakesEffectAlone(char16_t letter);

// The ignored rest of an option as options of their own, as other tools
// read letters run together: "c" after "-r" as " -c". Empty unless each
// character of it is a letter whose option, like "-r", takes effect alone.
std::u16string RestAsOptions(char16_t switchCharacter, const std::u16string& rest) {
    std::u16string options;
    for (const char16_t letter : rest) {
        if (!TakesEffectAlone(LowerAscii(letter))) return u"";
        options += u' ';
        options += switchCharacter;
        options += letter;
    }
    return options;
}

// What a user is told of an option applied in part (the first `used`
// characters) or not at all; empty for "-h" when the help is shown.
std::u16string NoteOnIgnored(const std::u16string& argument, std::size_t used, bool helpShown) {
    std::u16string note;
    if (used > 0) {
        const std::u16string read = argument.substr(0, used);
        note = argument + u" is read as " + read + u" (the rest is ignored)";
        const std::u16string apart = RestAsOptions(argument[0], argument.substr(used));
        if (!apart.empty()) note += u"; write " + read + apart;
    } else if (argument.size() == 1) {
        note = u"ignoring " + argument + u": an option letter must follow it";
    } else if (LowerAscii(argument[1]) == u'h') {
        if (helpShown) return u"";
        note = u"ignoring " + argument + u": the help is shown only when no other option is given";
    } else {
        note = u"ignoring unknown option " + argument;
    }
    return ShownInLogLine(note);  // a line break typed into an argument stays visible
}

// A time of a check in slices: a whole number of minutes, or of seconds,
// minutes or hours with "s", "m" or "h" after it (either case); more than
// nothing. Nothing when it is not such a time.
std::optional<std::uint64_t> SliceSeconds(const std::u16string& value) {
    std::size_t digits = 0;
    std::uint64_t number = 0;
    // Held at one past the longest time, however many digits follow, so
    // that no number wraps round to a short one.
    while (digits < value.size() && value[digits] >= u'0' && value[digits] <= u'9') {
        number = std::min(number * 10 + (value[digits] - u'0'), kLongestSliceSeconds + 1);
        ++digits;
    }
    if (digits == 0 || number == 0) return std::nullopt;
    const std::u16string unit = value.substr(digits);
    if (unit.empty() || unit == u"m" || unit == u"M") return number * 60;
    if (unit == u"s" || unit == u"S") return number;
    if (unit == u"h" || unit == u"H") return number * 3600;
    return std::nullopt;
}

// Why a report file option cannot work with the others; empty when it can.
std::u16string ReportRefusal(const char16_t* option, const std::optional<std::u16string>& file, const char16_t* what,
                             const RunSettings& app) {
    if (!file) return u"";
    if (file->empty()) return std::u16string(option) + u" needs a file: the one " + what + u" goes to";
    // Only a folder's run has figures: a single file's is its one line.
    if (!app.folderGiven || !(app.create || app.verify)) {
        return std::u16string(option) + u" goes with the check (-v) or the build (-c) of a folder (-f)";
    }
    return u"";
}

// Why options given together cannot run; empty when they can.
std::u16string RefusalOf(const RunSettings& app) {
    if (!app.startup.refusal.empty()) return app.startup.refusal;
    if (app.check.copyFolder) {
        if (app.check.copyFolder->empty()) return u"-b: name the copy of the folder checked (-b/mnt/backup/photos)";
        if (!(app.folderGiven && app.verify))
            return u"-b cannot be used without a folder's check: it heals what -f and -v (or -vc) find damaged";
    }
    if (app.check.sliceSeconds && app.check.rewriteOnDifference)
        return u"-t cannot be used with -vc: a rewrite needs the whole summary";
    if (app.check.sliceSeconds && app.check.additions)
        return u"-t cannot be used with -a: new files are found by a walk of the whole folder";
    std::u16string refusal = ReportRefusal(u"-m", app.reports.metricsFile, u"the run's figures for Prometheus", app);
    if (refusal.empty()) refusal = ReportRefusal(u"-j", app.reports.jsonReportFile, u"the run's JSON report", app);
    if (refusal.empty() && app.reports.metricsFile && app.reports.jsonReportFile &&
        *app.reports.metricsFile == *app.reports.jsonReportFile) {
        refusal = u"-m and -j name the same file: " + *app.reports.metricsFile;
    }
    return ShownInLogLine(refusal);  // a line break typed into a file name stays visible
}

// A build that records its paths relative to the current folder: a check
// started anywhere else does not find the files.
bool RecordsRelativePaths(const RunSettings& app) {
    return app.startup.informationRequest == InformationRequest::None && app.create && app.folderGiven &&
           !IsAbsolutePath(app.folder);
}

std::u16string NoteOnRelativePaths(const std::u16string& folder) {
    std::u16string absolute;
    CurrentFolder(absolute);
    if (folder.empty() && absolute.size() > 1) absolute.pop_back();  // the separator
    return u"the paths are recorded relative to the current folder, and a check from any other folder will "
           u"not find the files; to check from anywhere, give -f" +
           ShownInLogLine(absolute + folder);
}

// The options that only set a switch, and those whose whole value is kept
// as it is written: each letter's setting, so that their handling is one
// rule and not a case apiece.
bool* SwitchOf(char16_t letter, RunSettings& app) {
    switch (letter) {
        case u'c': return &app.create;
        case u'i': return &app.startup.installVerb;
        case u'r': return &app.walk.recursive;
        case u'u': return &app.startup.uninstallVerb;
        default: return nullptr;
    }
}

std::u16string* TextOf(char16_t letter, RunSettings& app) {
    switch (letter) {
        case u'n': return &app.singleFile;
        case u'o': return &app.reports.outputFolder;
        default: return nullptr;
    }
}

std::optional<std::u16string>* GivenTextOf(char16_t letter, RunSettings& app) {
    switch (letter) {
        case u'b': return &app.check.copyFolder;
        case u'j': return &app.reports.jsonReportFile;
        case u'm': return &app.reports.metricsFile;
        default: return nullptr;
    }
}

bool IsSwitch(char16_t letter) {
    RunSettings any;
    return SwitchOf(letter, any) != nullptr;
}

bool TakesEffectAlone(char16_t letter) { return IsSwitch(letter) || letter == u'v' || letter == u'a'; }

// -t<time>: the time of a slice, or the run refused with why it is none.
void ApplySliceTime(const std::u16string& argument, RunSettings& app) {
    app.check.sliceSeconds = SliceSeconds(argument.substr(2));
    if (!app.check.sliceSeconds && app.startup.refusal.empty()) {
        app.startup.refusal = ShownInLogLine(argument) +
                              u": not a time; give minutes (-t90), or a number with s, m or h after it (-t30s, -t2h)";
    } else if (app.check.sliceSeconds > kLongestSliceSeconds) {
        // Past what the clock's count can hold, a time would wrap round to
        // one that is over at once.
        app.check.sliceSeconds.reset();
        if (app.startup.refusal.empty()) {
            app.startup.refusal =
                ShownInLogLine(argument) + u": too long a time; give at most 1000000 hours (-t1000000h)";
        }
    }
}

// On Linux "--help" and "--version" answer in place of a run, the first of
// them counting; any other "--" argument, like an unknown letter, changes
// nothing. The count of the argument's letters used.
std::size_t ApplyLongOption(const std::u16string& argument, RunSettings& app) {
    if (!kHelpAndVersionOptions || (argument != u"--help" && argument != u"--version")) return 0;
    if (app.startup.informationRequest == InformationRequest::None) {
        app.startup.informationRequest = argument == u"--help" ? InformationRequest::Help : InformationRequest::Version;
    }
    return argument.size();
}

// Applies one argument, its value attached: "-f/data", not "-f" "/data".
// Returns how many of its characters took effect: all of them; the first
// two ("-vc": three) of an option that ignores the rest, so "-rc" is read
// as "-r"; or none, for a lone "-" and an option it does not know.
std::size_t ApplyArgument(const std::u16string& argument, RunSettings& app) {
    if (!IsOption(argument)) {
        app.startup.showHelp = false;
        app.verify = true;
        app.folder = DirectoryOf(argument);
        app.folderGiven = true;
        return argument.size();
    }
    if (argument.size() < 2) return 0;  // a lone switch character does nothing
    const char16_t letter = LowerAscii(argument[1]);
    if (letter == u'-') return ApplyLongOption(argument, app);
    const std::u16string value = argument.substr(2);
    if (bool* const setting = SwitchOf(letter, app)) {
        *setting = true;
    } else if (std::u16string* const text = TextOf(letter, app)) {
        *text = value;
    } else if (std::optional<std::u16string>* const given = GivenTextOf(letter, app)) {
        *given = value;
    } else if (letter == u'a') {
        app.check.additions = true;
    } else if (letter == u'f') {
        app.folder = value;
        app.folderGiven = true;
    } else if (letter == u't') {
        ApplySliceTime(argument, app);
    } else if (letter == u'v') {
        app.verify = true;
        app.check.rewriteOnDifference =
            app.check.rewriteOnDifference || (!value.empty() && LowerAscii(value[0]) == u'c');
    } else if (letter == u'x') {
        app.walk.excludedFolders.push_back(value);
    } else if (letter == u'z') {
        app.startup.hashToClipboard = true;
        app.singleFile = value;
    } else {
        return 0;  // unknown letters, "-h" included, change nothing
    }
    app.startup.showHelp = false;
    if (IsSwitch(letter)) return 2;
    if (letter == u'v') return value.empty() || LowerAscii(value[0]) != u'c' ? 2 : 3;
    if (letter != u'a') return argument.size();
    // The letters after -a are options of their own, so that "-avc" reads
    // as "-a -vc".
    if (value.empty()) return 2;
    const std::size_t rest = ApplyArgument(std::u16string(1, argument[0]) + value, app);
    return rest == 0 ? 2 : 1 + rest;
}

// A folder to leave out is named as it lies below -f, exactly: one that
// can match no folder is said, since the run would record what the user
// meant to leave out.
void NoteOnExclusions(const RunSettings& app, std::vector<std::u16string>& notes) {
    if (!app.folderGiven) return;
    for (const std::u16string& excluded : app.walk.excludedFolders) {
        if (IsAbsolutePath(excluded)) {
            notes.push_back(
                ShownInLogLine(u"-x" + excluded + u" leaves nothing out: name the folder as it lies below -f"));
        } else if (!excluded.empty() && IsPathSeparator(excluded.back())) {
            notes.push_back(ShownInLogLine(u"-x" + excluded +
                                           u" leaves nothing out: name the folder without a separator at its end"));
        }
    }
}

// An option applied in part (its first `used` characters) or not at all.
struct Ignored {
    std::u16string argument;
    std::size_t used;
};

// What the user is told of the options read into `app`: each one ignored,
// an option that does not apply (cleared in `app`), and a run given nothing
// to do.
std::vector<std::u16string> NotesOn(const std::vector<Ignored>& ignored, RunSettings& app) {
    std::vector<std::u16string> notes;
    for (const Ignored& each : ignored) {
        std::u16string note = NoteOnIgnored(each.argument, each.used, app.startup.showHelp);
        if (!note.empty()) notes.push_back(std::move(note));
    }
    // A file named alone is still read, and reported when it cannot be; a
    // folder named alone is not even opened.
    const bool otherWork = app.startup.showHelp || app.startup.installVerb || app.startup.uninstallVerb ||
                           app.startup.hashToClipboard || !app.singleFile.empty();
    if (app.check.sliceSeconds && !(app.folderGiven && app.verify)) {
        notes.push_back(u"ignoring -t: it sets the time of a folder's check (-v)");
        app.check.sliceSeconds.reset();
    }
    if (!otherWork && !app.folderGiven) {
        notes.push_back(u"nothing to do: no folder (-f), file (-n) or path was given");
    } else if (!otherWork && !app.create && !app.verify) {
        notes.push_back(u"nothing to do: neither -c (record) nor -v (check) was given");
    }
    if (app.check.additions && !(app.folderGiven && app.verify)) {
        notes.push_back(u"ignoring -a: new files are looked for only when a folder is checked (-v or -vc)");
    }
    NoteOnExclusions(app, notes);
    return notes;
}

}  // namespace

std::vector<std::u16string> splitCommandLine(const std::u16string& commandLine) {
    std::vector<std::u16string> arguments;
    std::u16string current;
    current.reserve(512);
    bool inQuotes = false;
    bool atSeparator = true;
    // The line ends at its first NUL, as a system command line does.
    for (const char16_t c : commandLine) {
        if (c == u'\0') break;
        if (c == u'"') {
            inQuotes = !inQuotes;
            atSeparator = false;
        } else if (inQuotes) {
            current.push_back(c);
        } else if (c == 0x7FFF) {
            arguments.push_back(current);
            current.clear();
            atSeparator = true;
        } else if (IsWhiteSpace(c)) {
            if (!atSeparator) {
                arguments.push_back(current);
                current.clear();
                atSeparator = true;
            }
        } else {
            current.push_back(c);
            atSeparator = false;
        }
    }
    if (!current.empty()) arguments.push_back(current);
    return arguments;
}

ParsedCommandLine parseArguments(const std::vector<std::u16string>& arguments, RunSettings defaults) {
    ParsedCommandLine parsed{std::move(defaults), {}};
    RunSettings& app = parsed.settings;
    std::vector<Ignored> ignored;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::u16string& argument = arguments[i];
        const bool valueMissing = argument.size() == 2 && IsOption(argument) && TakesValue(argument[1]);
        if (valueMissing && i + 1 < arguments.size() && !IsOption(arguments[i + 1])) {
            ApplyArgument(argument + arguments[++i], app);  // a value option always takes its whole text
            continue;
        }
        const std::size_t used = ApplyArgument(argument, app);
        if (used < argument.size()) ignored.push_back({argument, used});
    }
    // The answer to "--help" or "--version" is the whole run.
    if (app.startup.informationRequest != InformationRequest::None) return parsed;
    app.startup.refusal = RefusalOf(app);
    if (!app.startup.refusal.empty()) return parsed;
    parsed.notes = NotesOn(ignored, app);
    return parsed;
}

void parseCommandLine(RunSettings& app) {
    std::vector<std::u16string> arguments;
    if (const auto split = SplitProcessArguments()) {
        arguments = *split;
    } else {
        arguments = splitCommandLine(ProcessCommandLine());
        if (!arguments.empty()) arguments.erase(arguments.begin());  // the program's own path
    }
    ParsedCommandLine parsed = parseArguments(arguments, std::move(app));
    app = std::move(parsed.settings);
    std::vector<std::u16string>& notes = parsed.notes;
    if (!kCommandLineNotes) return;
    // On a terminal only, where a person has just typed the folder: a
    // script that builds a relative folder on purpose would otherwise have
    // the note mailed with every run.
    if (RecordsRelativePaths(app) && StandardErrorIsTerminal()) notes.push_back(NoteOnRelativePaths(app.folder));
    for (const std::u16string& note : notes) {
        SayOnStandardError(note);
    }
}
