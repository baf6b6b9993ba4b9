// The application object: owns everything a run needs, applies the command
// line and the start-up actions when it is built, and runs the requested
// single-file and folder work.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "tessel_app.h"
#include "tessel_file.h"
#include "tessel_log.h"
#include "tessel_progress.h"

// Whole-name comparison ignoring letter case, as the system compares names.
bool sameNameIgnoringCase(const std::u16string& a, const std::u16string& b);

// A path as a log line shows it: a carriage return or line feed in it
// (possible in a Linux file name) as \r or \n, so that the line stays one.
std::u16string pathForLog(const std::u16string& path);

// How a digest came out: the path does not exist, or the file is there but
// could not be read to its end (no access, locked, an I/O error, cut short
// while read, no hash service).
enum class DigestResult { Computed, NotFound, Unreadable };

// What "--help" or "--version" asked for in place of a run.
enum class InformationRequest { None, Help, Version };

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
    // (no terminator); `out` is untouched on failure. Nothing is logged.
    DigestResult digestFile(const std::u16string& path, char (&out)[32]) const;
    // The same, logging a failure: the path with " - File Not Found" when it
    // does not exist, with " - Error computing MD5" when it cannot be read.
    bool computeDigest(const std::u16string& path, char (&out)[32]) const;
    // One log line: pathForLog(path) followed by string `messageId`.
    void logProblem(const std::u16string& path, std::uint32_t messageId) const;
    // The mismatch line: the path, " - MD5 Mismatch", then the two digests
    // in parentheses, in the order given.
    void logMismatch(const std::u16string& path, const std::u16string& first, const std::u16string& second) const;

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
    // Set, the run only answers it: no start-up action, no work.
    InformationRequest informationRequest = InformationRequest::None;

private:
    struct FileDigest {
        DigestResult result = DigestResult::Unreadable;
        char digits[32] = {};
    };

    void performStartupActions();
    std::u16string bannerTitle() const;
    bool answerInformationRequest() const;
    bool runSingleFile();
    bool runFolder();
    std::u16string summaryPath() const;
    void logDigestFailure(const std::u16string& path, DigestResult result) const;

    // The clipboard action's digest of `singleFile`, so that single-file
    // mode does not read the file a second time.
    std::optional<FileDigest> clipboardDigest;
    // Indices in `folders` whose subfolders could not all be listed.
    std::set<std::size_t> incompletelyListed;
};
