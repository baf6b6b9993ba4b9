// Verifying the folder summary: read and parse it whole, hash every entry on
// every core, and judge the entries in the summary's order; keep a rewrite
// only when asked for and something was wrong.
#pragma once

#include "closing_line.h"
#include "problem_log.h"
#include "run_settings.h"
#include "tessel_file.h"
#include "tessel_progress.h"

class VerifyJob {
public:
    VerifyJob(const RunSettings& settings, const ProblemLog& problems, TesselLibrary::TesselProgress& progress,
              TesselLibrary::TesselFile& summaryFile, TesselLibrary::TesselFile& rewriteFile)
        : settings_(settings), problems_(problems), progress_(progress), summaryFile_(summaryFile),
          rewriteFile_(rewriteFile) {}

    // The whole job, ended with progress.EndJob; what it checked.
    JobResult verifySummary();

private:
    const RunSettings& settings_;
    const ProblemLog& problems_;
    TesselLibrary::TesselProgress& progress_;
    TesselLibrary::TesselFile& summaryFile_;
    TesselLibrary::TesselFile& rewriteFile_;
};
