// The application object: owns everything a run needs, applies the command
// line and the start-up actions when it is built, and runs the requested
// single-file and folder work.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tessel_app.h"
#include "tessel_file.h"
#include "tessel_log.h"
#include "tessel_progress.h"

// Whole-name comparison ignoring letter case, as the system compares names.
bool sameNameIgnoringCase(const std::u16string& a, const std::u16string& b);

class ChecksumApp {
public:
    ChecksumApp();
    // Members and default settings only: no command line, no start-up
    // actions. For driving the parts of a run one at a time.
    struct DefaultsOnly {};
    explicit ChecksumApp(DefaultsOnly);
    ~ChecksumApp();
    ChecksumApp(const ChecksumApp&) = delete;
    ChecksumApp& operator=(const ChecksumApp&) = delete;

    // Prints the banner, runs single-file then folder mode; the run's verdict.
    bool run();

    // MD5 of the file's whole contents as 32 upper-case hex digits in `out`
    // (no terminator); `out` is untouched on failure.
    bool computeDigest(const std::u16string& path, char (&out)[32]) const;

    void buildSummary();
    void verifySummary();
    void collectFolders(const std::u16string& path);

    // Folder-job entry points handed to the progress runner.
    static std::uint32_t TESSEL_STDCALL buildJob(void* app);
    static std::uint32_t TESSEL_STDCALL verifyJob(void* app);

    std::vector<std::u16string> folders;
    std::vector<std::u16string> excludedFolders;
    TesselLibrary::TesselAppWindows frame;
    std::unique_ptr<TesselLibrary::TesselFile> summaryFile;
    std::unique_ptr<TesselLibrary::TesselFile> rewriteFile;
    std::unique_ptr<TesselLibrary::TesselLog> log;
    std::unique_ptr<TesselLibrary::TesselProgress> progress;

    // Run settings, in the order the command line documents them.
    std::u16string summaryName;
    std::u16string singleFile;
    std::u16string folder;
    std::u16string outputFolder;
    bool folderGiven = false;
    bool rewriteOnDifference = false;
    bool create = false;
    bool showHelp = true;
    bool installVerb = false;
    bool hashToClipboard = false;
    bool recursive = false;
    bool uninstallVerb = false;
    bool verify = false;

private:
    void performStartupActions();
    bool runSingleFile();
    bool runFolder();
};
