#include "startup_actions.h"

#include "clipboard.h"
#include "console.h"
#include "context_menu_verb.h"
#include "help_viewer.h"
#include "named_file.h"
#include "platform.h"
#include "platform_rules.h"
#include "string_ids.h"
#include "folders.h"
#include "help_file.h"
#include "path.h"

using namespace TesselLibrary;

namespace {

std::u16string LogName(const std::u16string& folder, const char16_t* fallback) {
    if (folder.empty()) return fallback;
    std::u16string name;
    for (const char16_t c : folder) {
        if (c != u'/' && c != u':' && c != u'\\' && c != u'\0') name.push_back(c);
    }
    return name;
}

}  // namespace

void openRunLog(const RunSettings& s, const TesselAppWindows& frame, TesselLog& log) {
    const std::u16string fileName = LogName(s.folder, frame.ResourceString(kProductName)) + u".txt";
    log.RepeatOnStandardError(kLogLinesOnStandardError);
    if (!s.reports.outputFolder.empty()) {
        log.Open(JoinPath(s.reports.outputFolder, fileName), false);
    } else {
        log.Open(fileName, true);
    }
}

std::optional<FileDigest> performStartupActions(const RunSettings& s, const TesselAppWindows& frame, TesselLog& log) {
    const std::u16string verbName = frame.ResourceString(kProductName);
    if (s.startup.installVerb) {
        std::u16string executable;
        ModuleFolder(executable);
        executable += kVerbExecutableName;
        InstallContextMenuVerb(verbName, executable, u"-z");
    }
    if (s.startup.uninstallVerb) RemoveContextMenuVerb(verbName);

    if (s.startup.hashToClipboard) {
        // Started from a context menu, the program would otherwise keep an
        // empty console window open, in front of its box, while it hashes.
        LeaveUnsharedConsole();
        // The log stays closed in this run: an old log is left alone.
        const FileDigest digest = NamedFile(s.singleFile).digest();
        if (digest.result == DigestResult::Computed) {
            const std::u16string digits(digest.digits, digest.digits + 32);
            if (OpenClipboard()) PutTextOnClipboard(digits);
            // The box says which file the digits belong to; the clipboard
            // holds the digits alone.
            const std::u16string name = LastName(s.singleFile);
            const std::u16string text = name + kBeforeDigestInMessage + digits;
            frame.ShowMessage(frame.ResourceString(kComputeHashCaption), text.c_str());
        } else {
            frame.ShowError(frame.ResourceString(kComputeHashCaption), frame.ResourceString(kErrorComputingMd5));
        }
        return digest;
    }

    openRunLog(s, frame, log);

    if (s.startup.showHelp) {
        std::u16string helpPath;
        TempFolder(helpPath);
        helpPath += frame.ResourceString(kProductName);
        helpPath += kHelpFileExtension;
        ExtractHelpFile(frame.module(), helpPath.c_str());
        DisplayHelp(helpPath);
        frame.ShowMessage(frame.ResourceString(kProductName), frame.ResourceString(kClickOkToExit));
    }
    return std::nullopt;
}
