#include "closing_line.h"

#include "console.h"
#include "local_time.h"
#include "platform.h"
#include "text.h"

using namespace TesselLibrary;

namespace {

// "154,040 files", "1 file".
std::u16string Files(std::uint64_t number) { return GroupThousands(number) + (number == 1 ? u" file" : u" files"); }

// "checked 12,345 of 1,000,000 files (lines 400,001-412,345)".
std::u16string SliceChecked(const SliceCoverage& slice) {
    std::u16string text = u"checked " + GroupThousands(slice.checked) + u" of " + Files(slice.entries);
    std::u16string lines;
    for (const auto& [first, last] : slice.lines) {
        lines += (lines.empty() ? u"" : u", ") + GroupThousands(first);
        if (last != first) lines += u"-" + GroupThousands(last);
    }
    if (!lines.empty())
        text += (slice.lines.size() == 1 && slice.lines[0].first == slice.lines[0].second ? u" (line " : u" (lines ") +
                lines + u")";
    return text;
}

// "last full round finished 2026-12-01".
std::u16string SliceRound(const SliceCoverage& slice) {
    if (!slice.lastFullRound) return u"no full round yet";
    return u"last full round finished " + DateText(*slice.lastFullRound);
}

}  // namespace

std::u16string closingLine(const RunCounts& tally, std::size_t notInLog, const std::u16string& logPath,
                           const std::u16string& keptSummary) {
    const std::size_t problems = tally.problems;
    std::u16string line =
        problems == 0 ? u"no problem" : GroupThousands(problems) + (problems == 1 ? u" problem" : u" problems");
    std::u16string kinds;
    const auto kind = [&](std::uint64_t count, const char16_t* name) {
        if (count != 0) kinds += (kinds.empty() ? u"" : u", ") + GroupThousands(count) + u" " + name;
    };
    kind(tally.kinds.damaged, u"damaged");
    kind(tally.kinds.edited, u"edited");
    // What a copy may heal (-b) besides damage: its repairs follow.
    kind(tally.kinds.unreadable, u"unreadable");
    kind(tally.kinds.missing, u"missing");
    kind(tally.kinds.moved, u"moved");
    if (!kinds.empty()) line += u" (" + kinds + u")";
    if (tally.repaired != 0) line += u", " + GroupThousands(tally.repaired) + u" repaired";
    if (tally.notRepaired != 0) line += u", " + GroupThousands(tally.notRepaired) + u" not repaired";
    if (tally.newFiles != 0)
        line += u", " + GroupThousands(tally.newFiles) + (tally.newFiles == 1 ? u" new file" : u" new files");
    line += u"; log: " + ShownInLogLine(logPath);
    if (notInLog == tally.problems + tally.news) {
        line += u" (not written there)";
    } else if (notInLog != 0) {
        line += u" (" + GroupThousands(notInLog) + u" not written there)";
    }
    if (!keptSummary.empty()) line += u"; " + ShownInLogLine(keptSummary) + u" left as it was";
    return line;
}

std::u16string cleanClosingLine(const CleanRun& run) {
    const std::u16string checkedText = u" checked, no problem";
    std::u16string text;
    const auto add = [&](const std::u16string& part) { text += (text.empty() ? u"" : u"; ") + part; };
    if (!run.singleFile.empty() && (run.singleRecorded || run.singleChecked)) {
        std::u16string part = ShownInLogLine(run.singleFile);
        if (run.singleRecorded) part += u" recorded in " + ShownInLogLine(run.singleFile + u".md5");
        if (run.singleRecorded && run.singleChecked) part += u" and";
        if (run.singleChecked) part += checkedText;
        add(part);
    }
    const std::u16string summary = ShownInLogLine(run.summaryPath);
    bool checkSaid = false;
    if (run.built && !run.built->summaryWritten) {
        add(u"no file recorded, " + summary + u" left as it was");
    } else if (run.built) {
        std::u16string part = Files(run.built->files) + u" recorded in " + summary;
        // A check of what was just recorded is said with it.
        if (run.checked && !run.checked->slice && run.checked->files == run.built->files) {
            part += u" and" + checkedText;
            checkSaid = true;
        }
        add(part);
    }
    if (run.checked && run.checked->slice) {
        add(SliceChecked(*run.checked->slice) + u", no problem");
        add(SliceRound(*run.checked->slice));
    } else if (run.checked && !checkSaid) {
        add(Files(run.checked->files) + checkedText);
    }
    return text;
}

std::u16string sliceCoverageText(const SliceCoverage& slice) { return SliceChecked(slice) + u"; " + SliceRound(slice); }

std::u16string interruptNotice(const std::u16string& keptPath) {
    return StandardErrorLine(keptPath.empty() ? u"interrupted"
                                              : u"interrupted; " + ShownInLogLine(keptPath) + u" left as it was");
}
