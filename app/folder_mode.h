// Folder mode: the folder resolved once, the two summaries named in it, then
// the build and the verify job, each on a worker thread behind the progress
// display.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "folder.h"
#include "folder_job.h"
#include "job_result.h"
#include "platform.h"
#include "problem_log.h"
#include "run_settings.h"
#include "tessel_app.h"
#include "tessel_file.h"
#include "tessel_progress.h"

// What the jobs of folder mode did, each when it ran.
struct JobsDone {
    std::optional<JobResult> built;
    std::optional<JobResult> checked;
};

class FolderMode {
public:
    // Resolves the folder: the walk, the summary, its rewrite and the checks
    // all use it, whatever happens to its path while the run goes on. A link
    // named on the command line is followed, as the user gave it.
    FolderMode(const RunSettings& settings, const ProblemLog& problems, TesselLibrary::TesselProgress& progress);

    // Builds, then verifies, as the settings ask; what failed is logged.
    void run(const TesselLibrary::TesselAppWindows& frame);

    // What the jobs did, as they counted it.
    const JobsDone& done() const { return done_; }

    // The jobs handed to the progress runner, with this object.
    static std::uint32_t TESSEL_STDCALL buildJob(void* mode);
    static std::uint32_t TESSEL_STDCALL verifyJob(void* mode);

private:
    std::shared_ptr<const TesselLibrary::Folder> folder_;  // null when it could not be opened
    std::unique_ptr<TesselLibrary::TesselFile> summaryFile_;
    std::unique_ptr<TesselLibrary::TesselFile> rewriteFile_;
    const JobInputs inputs_;  // the settings, the log and the display, the folder and its summary
    JobsDone done_;
};
