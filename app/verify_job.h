// Verifying the folder summary: the invalid lines first, then every entry
// hashed on every core and judged in the summary's order; a rewrite is kept
// only when asked for and something was wrong. The summary is read twice
// from its one open handle, in pieces, so that no summary can make the run
// hold more than a piece and a line of it.
#pragma once

#include <memory>

#include <functional>

#include "closing_line.h"
#include "engine/descriptor_budget.h"
#include "engine/digest_task.h"
#include "folder.h"
#include "problem_log.h"
#include "run_settings.h"
#include "tessel_file.h"
#include "tessel_progress.h"

class VerifyJob {
public:
    // `root`: the folder resolved at the start of the run (null when it
    // could not be); the two files name the summary and its rewrite in it.
    VerifyJob(const RunSettings& settings, const ProblemLog& problems, TesselLibrary::TesselProgress& progress,
              std::shared_ptr<const TesselLibrary::Folder> root, TesselLibrary::TesselFile& summaryFile,
              TesselLibrary::TesselFile& rewriteFile)
        : settings_(settings), problems_(problems), progress_(progress), root_(std::move(root)),
          summaryFile_(summaryFile), rewriteFile_(rewriteFile) {}

    // The whole job, ended with progress.EndJob; what it checked.
    JobResult verifySummary();
    // The same with the caller's hashing threads (stand-ins in tests), the
    // folders below the root opened within `folders`.
    JobResult verifySummary(const std::function<void(TaskSource& source)>& hash, unsigned threads,
                            DescriptorBudget& folders);

private:
    // Nothing to check is not a clean bill of health: the summary's problem
    // is said and the job fails, leaving any earlier rewrite where it is.
    JobResult endWithoutSummary();

    const RunSettings& settings_;
    const ProblemLog& problems_;
    TesselLibrary::TesselProgress& progress_;
    std::shared_ptr<const TesselLibrary::Folder> root_;
    TesselLibrary::TesselFile& summaryFile_;
    TesselLibrary::TesselFile& rewriteFile_;
};
