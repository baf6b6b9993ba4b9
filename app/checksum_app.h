// The application object: the run settings, the services a run uses, and
// the order of a run. Building it only builds it; the command line and the
// start-up actions come when the caller asks for them.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "closing_line.h"
#include "engine/file_digest.h"
#include "folder.h"
#include "problem_log.h"
#include "run_settings.h"
#include "tessel_app.h"
#include "tessel_file.h"
#include "tessel_log.h"
#include "tessel_progress.h"

class ChecksumApp {
public:
    // Default settings and idle services: nothing is read, written or shown.
    ChecksumApp();
    ~ChecksumApp();
    ChecksumApp(const ChecksumApp&) = delete;
    ChecksumApp& operator=(const ChecksumApp&) = delete;

    // Reads the process's command line into `settings`.
    void applyCommandLine();
    // The start-up actions, the banner, then single-file and folder mode;
    // the run's verdict.
    bool run();

    // Folder-job entry points handed to the progress runner.
    static std::uint32_t TESSEL_STDCALL buildJob(void* app);
    static std::uint32_t TESSEL_STDCALL verifyJob(void* app);

    RunSettings settings;
    TesselLibrary::TesselAppWindows frame;
    std::unique_ptr<TesselLibrary::TesselFile> summaryFile;
    std::unique_ptr<TesselLibrary::TesselFile> rewriteFile;
    std::unique_ptr<TesselLibrary::TesselLog> log;
    std::unique_ptr<TesselLibrary::TesselProgress> progress;
    ProblemLog problems;

private:
    void performStartupActions();
    std::u16string bannerTitle() const;
    bool answerInformationRequest() const;
    bool runSingleFile();
    bool runFolder();

    // The clipboard action's digest of `singleFile`, so that single-file
    // mode does not read the file a second time.
    std::optional<FileDigest> clipboardDigest;
    // The folder of folder mode, resolved once at its start.
    std::shared_ptr<const TesselLibrary::Folder> folderHeld;
    // What the folder jobs of this run did, as they counted it.
    std::optional<JobResult> built;
    std::optional<JobResult> checked;
};
