// What the build and the verify job share: the run's settings and log, the
// progress display with the job's bar and counts, the folder resolved at the
// start of the run with the summary in it, and the run's counts when the job
// began, from which the job's own verdict is told at its end.
#pragma once

#include <memory>

#include "folder.h"
#include "job_bar.h"
#include "problem_log.h"
#include "run_counts.h"
#include "run_settings.h"
#include "tessel_file.h"
#include "tessel_progress.h"

// What a folder job is given by the run.
struct JobInputs {
    const RunSettings& settings;
    const ProblemLog& problems;
    TesselLibrary::TesselProgress& progress;
    // The folder resolved at the start of the run (null when it could not
    // be), and the summary in it.
    std::shared_ptr<const TesselLibrary::Folder> root;
    TesselLibrary::TesselFile& summaryFile;
};

class FolderJob {
protected:
    explicit FolderJob(const JobInputs& inputs)
        : settings_(inputs.settings),
          problems_(inputs.problems),
          progress_(inputs.progress),
          bar_(inputs.progress),
          root_(inputs.root),
          summaryFile_(inputs.summaryFile),
          before_(inputs.problems.counts()) {}

    // Ends the job's display with its verdict: whether it counted a problem.
    void endJob() { progress_.EndJob(runFailed(problems_.counts(), false, before_)); }

    const RunSettings& settings_;
    const ProblemLog& problems_;
    TesselLibrary::TesselProgress& progress_;
    JobBar bar_;
    TesselLibrary::ProgressCounts counts_;
    std::shared_ptr<const TesselLibrary::Folder> root_;
    TesselLibrary::TesselFile& summaryFile_;
    const RunCounts before_;  // what the run had counted when this job began
};
