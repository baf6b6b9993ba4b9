// The application object: the run settings, the services a run uses, and
// the order of a run. Building it only builds it; the command line and the
// start-up actions come when the caller asks for them. The steps of a run
// are units of their own (startup_actions, single_file_mode, folder_mode),
// each given what it uses.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "problem_log.h"
#include "run_settings.h"
#include "tessel_app.h"
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

    RunSettings settings;
    TesselLibrary::TesselAppWindows frame;
    std::unique_ptr<TesselLibrary::TesselLog> log;
    std::unique_ptr<TesselLibrary::TesselProgress> progress;
    ProblemLog problems;

private:
    std::u16string bannerTitle() const;
    bool answerInformationRequest() const;
};
