#include "command_line.h"

#include "run_settings.h"
#include "tessel_app.h"
#include "console.h"
#include "platform.h"

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
        case u'f':
        case u'n':
        case u'o':
        case u'x':
        case u'z':
            return true;
        default:
            return false;
    }
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

void applyArgument(const std::u16string& argument, RunSettings& app) {
    if (!IsOption(argument)) {
        app.showHelp = false;
        app.verify = true;
        app.folder = DirectoryOf(argument);
        app.folderGiven = true;
        return;
    }
    if (argument.size() < 2) return;  // a lone switch character does nothing
    const std::u16string value = argument.substr(2);
    switch (LowerAscii(argument[1])) {
        case u'c':
            app.showHelp = false;
            app.create = true;
            break;
        case u'f':
            app.showHelp = false;
            app.folder = value;
            app.folderGiven = true;
            break;
        case u'i':
            app.showHelp = false;
            app.installVerb = true;
            break;
        case u'n':
            app.showHelp = false;
            app.singleFile = value;
            break;
        case u'o':
            app.showHelp = false;
            app.outputFolder = value;
            break;
        case u'r':
            app.showHelp = false;
            app.recursive = true;
            break;
        case u'u':
            app.showHelp = false;
            app.uninstallVerb = true;
            break;
        case u'v':
            app.showHelp = false;
            app.verify = true;
            if (!value.empty() && LowerAscii(value[0]) == u'c') app.rewriteOnDifference = true;
            break;
        case u'x':
            app.showHelp = false;
            app.excludedFolders.push_back(value);
            break;
        case u'z':
            app.showHelp = false;
            app.hashToClipboard = true;
            app.singleFile = value;
            break;
        case u'-':
            // On Linux "--help" and "--version" answer in place of a run,
            // the first of them counting; any other "--" argument, like an
            // unknown letter, changes nothing.
            if (kHelpAndVersionOptions && app.informationRequest == InformationRequest::None) {
                if (argument == u"--help") app.informationRequest = InformationRequest::Help;
                if (argument == u"--version") app.informationRequest = InformationRequest::Version;
            }
            break;
        default:
            break;  // unknown letters, "-h" included, change nothing
    }
}

void applyArguments(const std::vector<std::u16string>& arguments, RunSettings& app) {
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::u16string& argument = arguments[i];
        const bool valueMissing = argument.size() == 2 && IsOption(argument) && TakesValue(argument[1]);
        if (valueMissing && i + 1 < arguments.size() && !IsOption(arguments[i + 1])) {
            applyArgument(argument + arguments[++i], app);
        } else {
            applyArgument(argument, app);
        }
    }
}

void parseCommandLine(RunSettings& app) {
    if (auto arguments = SplitProcessArguments()) {
        applyArguments(*arguments, app);
        return;
    }
    std::vector<std::u16string> arguments = splitCommandLine(ProcessCommandLine());
    if (!arguments.empty()) arguments.erase(arguments.begin());  // the program's own path
    applyArguments(arguments, app);
}
