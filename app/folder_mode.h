// Folder mode: the folder resolved once, the two summaries named in it, then
// the build and the verify job, each on a worker thread behind the progress
// display.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "closing_line.h"
#include "folder.h"
#include "platform.h"
#include "problem_log.h"
#include "run_settings.h"
#include "tessel_app.h"
#include "tessel_file.h"
#include "tessel_progress.h"

class FolderMode {
public:
    FolderMode(const RunSettings& settings, const ProblemLog& problems, TesselLibrary::TesselProgress& progress,
               TesselLibrary::TesselFile& summaryFile, TesselLibrary::TesselFile& rewriteFile)
        : settings_(settings), problems_(problems), progress_(progress), summaryFile_(summaryFile),
          rewriteFile_(rewriteFile) {}

    // Builds, then verifies, as the settings ask; false when a job failed.
    bool run(const TesselLibrary::TesselAppWindows& frame);

    // What the jobs did, as they counted it.
    const std::optional<JobResult>& built() const { return built_; }
    const std::optional<JobResult>& checked() const { return checked_; }

    // The jobs handed to the progress runner, with this object.
    static std::uint32_t TESSEL_STDCALL buildJob(void* mode);
    static std::uint32_t TESSEL_STDCALL verifyJob(void* mode);

private:
    const RunSettings& settings_;
    const ProblemLog& problems_;
    TesselLibrary::TesselProgress& progress_;
    TesselLibrary::TesselFile& summaryFile_;
    TesselLibrary::TesselFile& rewriteFile_;
    std::shared_ptr<const TesselLibrary::Folder> folder_;  // resolved once at the start
    std::optional<JobResult> built_;
    std::optional<JobResult> checked_;
};
