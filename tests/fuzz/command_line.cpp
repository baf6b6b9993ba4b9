// splitCommandLine on arbitrary UTF-16, then applyArgument for each
// argument. Besides not crashing: no argument holds a NUL or a quote, and
// every argument only ever sets flags, except showHelp, which it only ever
// clears; the summary's name never changes.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "checksum_app.h"
#include "command_line.h"

namespace {

constexpr bool RunSettings::*kFlags[] = {
    &RunSettings::folderGiven,     &RunSettings::rewriteOnDifference, &RunSettings::create,
    &RunSettings::installVerb,     &RunSettings::hashToClipboard,     &RunSettings::recursive,
    &RunSettings::uninstallVerb,   &RunSettings::verify,
};
constexpr std::size_t kFlagCount = sizeof kFlags / sizeof kFlags[0];

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::u16string line(size / 2, u'\0');
    std::memcpy(line.data(), data, line.size() * sizeof(char16_t));

    ChecksumApp holder;
    RunSettings& app = holder.settings;
    const std::u16string summaryName = app.summaryName;
    for (const std::u16string& argument : splitCommandLine(line)) {
        if (argument.find_first_of(std::u16string(u"\0\"", 2)) != std::u16string::npos) std::abort();
        bool before[kFlagCount];
        for (std::size_t i = 0; i < kFlagCount; ++i) before[i] = app.*kFlags[i];
        const bool helpBefore = app.showHelp;
        applyArgument(argument, app);
        for (std::size_t i = 0; i < kFlagCount; ++i) {
            if (before[i] && !(app.*kFlags[i])) std::abort();
        }
        if ((!helpBefore && app.showHelp) || app.summaryName != summaryName) std::abort();
    }
    return 0;
}
