// splitCommandLine on arbitrary UTF-16, then parseArguments of each
// argument alone, over what the ones before it set. Besides not crashing: no argument holds a NUL or a quote, and
// every argument only ever sets flags, except showHelp, which it only ever
// clears; the summary's name never changes. parseArguments of the whole list,
// where a value may come from the next argument, sets no flag that the
// arguments one by one did not, clears showHelp alike, and keeps as many
// exclusions and the same answer to "--help" or "--version".
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "run_settings.h"
#include "command_line.h"

namespace {

constexpr std::size_t kFlagCount = 8;

std::array<bool, kFlagCount> FlagsOf(const RunSettings& s) {
    return {s.folderGiven,    s.check.rewriteOnDifference, s.create, s.startup.installVerb, s.startup.hashToClipboard,
            s.walk.recursive, s.startup.uninstallVerb,     s.verify};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::u16string line(size / 2, u'\0');
    std::memcpy(line.data(), data, line.size() * sizeof(char16_t));

    RunSettings app;
    app.summaryName = u"Sumvane.md5";
    const std::u16string summaryName = app.summaryName;
    const std::vector<std::u16string> arguments = splitCommandLine(line);
    for (const std::u16string& argument : arguments) {
        if (argument.find_first_of(std::u16string(u"\0\"", 2)) != std::u16string::npos) std::abort();
        const std::array<bool, kFlagCount> before = FlagsOf(app);
        const bool helpBefore = app.startup.showHelp;
        app = parseArguments({argument}, std::move(app)).settings;
        const std::array<bool, kFlagCount> after = FlagsOf(app);
        for (std::size_t i = 0; i < kFlagCount; ++i) {
            if (before[i] && !after[i]) std::abort();
        }
        if ((!helpBefore && app.startup.showHelp) || app.summaryName != summaryName) std::abort();
    }
    const RunSettings joined = parseArguments(arguments, RunSettings{}).settings;
    const std::array<bool, kFlagCount> joinedFlags = FlagsOf(joined), oneByOne = FlagsOf(app);
    for (std::size_t i = 0; i < kFlagCount; ++i) {
        if (joinedFlags[i] && !oneByOne[i]) std::abort();
    }
    if (joined.startup.showHelp != app.startup.showHelp ||
        joined.walk.excludedFolders.size() != app.walk.excludedFolders.size() ||
        joined.startup.informationRequest != app.startup.informationRequest) {
        std::abort();
    }
    return 0;
}
