// The last line of a run on standard error: for a run that logged problems,
// how many there were and where the log is, so that a terminal or a cron
// mail says it without the log file being opened; for a clean run watched
// on a terminal, what it did; for an interrupted one, what it left as it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "job_result.h"
#include "problem_log.h"

// What the closing line says (SayOnStandardError puts the program's name
// before it): "3 problems (1 damaged, 1 edited, 1 moved), 2 new files; log:
// <path>", with -b ", 1 repaired, 1 not repaired" before the new files
// ("no problem" when the log holds news only; the kinds of problems
// named when there are any), then, when some lines did not reach the log
// file (they are on standard error already), how many of them; and, when
// `keptSummary` is given, that a build left that summary as it was.
std::u16string closingLine(const RunCounts& tally, std::size_t notInLog, const std::u16string& logPath,
                           const std::u16string& keptSummary = {});

// What a run without problems did.
struct CleanRun {
    std::u16string singleFile;  // empty when none was named
    bool singleRecorded = false;
    bool singleChecked = false;
    std::u16string summaryPath;  // the folder summary, when a folder job ran
    std::optional<JobResult> built;
    std::optional<JobResult> checked;
};

// "154,040 files checked, no problem", "154,040 files recorded in
// /srv/data/Sumvane.md5", and the like for a single file; the
// parts joined with "; ". Empty when nothing was recorded or checked.
std::u16string cleanClosingLine(const CleanRun& run);

// What a check in slices covered, for the end of the closing line:
// "checked 12,345 of 1,000,000 files (lines 400,001-412,345); last full round
// finished 2026-12-01" ("no full round yet" before the first).
std::u16string sliceCoverageText(const SliceCoverage& slice);

// "sumvane: interrupted", with "; <path> left as it was" when `keptPath`,
// the file the run would have replaced, is given: the whole line
// (StandardErrorLine), kept to be said when an interrupt comes.
std::u16string interruptNotice(const std::u16string& keptPath = {});
