// The books of a run: one counter per kind of outcome, kept as each line is
// logged (and as a problem is said elsewhere), and read by the closing line,
// the reports and the run's verdict alike, so that what a run says of itself
// and how it exits cannot disagree.
#pragma once

#include <cstddef>

#include "run_figures.h"

struct RunCounts {
    // Problem lines of the log: each fails the run.
    std::size_t problems = 0;
    // Lines of news (what changed without anything being wrong).
    std::size_t news = 0;
    std::size_t newFiles = 0;  // of the news
    // The problems by kind, for a closing line that names them and for the
    // run's figures.
    ProblemFigures kinds = {};
    // With -b, the problems a copy was asked to heal: healed (still
    // problems), and not, each said in a line of news.
    std::size_t repaired = 0;
    std::size_t notRepaired = 0;
    // Problems said on standard error or in a message box rather than in the
    // log: a folder another run is building, a digest the clipboard action
    // could not make, a report that could not be written.
    std::size_t saidElsewhere = 0;
};

// The verdict of a run: it failed when it counted a problem, in its log or
// elsewhere, or when its log could not be written where it belongs.
// `before`: the counts when one job of the run began, for that job's own
// verdict.
bool runFailed(const RunCounts& counts, bool logFailed, const RunCounts& before = {});
