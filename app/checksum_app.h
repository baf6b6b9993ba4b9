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
#include "problem_log.h"
#include "run_settings.h"
#include "tessel_app.h"
#include "tessel_file.h"
#include "tessel_log.h"
#include "tessel_progress.h"

// Whole-name comparison ignoring letter case, as the system compares names.
bool sameNameIgnoringCase(const std::u16string& a, const std::u16string& b);

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

    // MD5 of the file's whole contents as 32 upper-case hex digits in `out`
    // (no terminator); `out` is untouched on failure. Nothing is logged.
    DigestResult digestFile(const std::u16string& path, char (&out)[32]) const;
    // The same, logging a failure: the path with " - File Not Found" when it
    // does not exist, with " - Error computing MD5" when it cannot be read.
    bool computeDigest(const std::u16string& path, char (&out)[32]) const;

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
    // What the folder jobs of this run did, as they counted it.
    std::optional<JobResult> built;
    std::optional<JobResult> checked;
};
