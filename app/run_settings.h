// What the command line asked for, in the order it documents them. Filled
// by parseCommandLine; read by the start-up actions and the jobs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What "--help" or "--version" asked for in place of a run.
enum class InformationRequest { None, Help, Version };

// The longest time -t takes: a million hours (about 114 years), well
// within what the clock counts its nanoseconds in from any day it may read.
inline constexpr std::uint64_t kLongestSliceSeconds = std::uint64_t{1000000} * 3600;

// What the run does besides or instead of a job: a start-up action, the
// help, or only an answer or a refusal.
struct StartupRequests {
    bool showHelp = true;
    bool installVerb = false;
    bool uninstallVerb = false;
    bool hashToClipboard = false;
    // Set, the run does nothing but say it and fail: options that cannot
    // work together.
    std::u16string refusal;
    // Set, the run only answers it: no start-up action, no work.
    InformationRequest informationRequest = InformationRequest::None;
};

// Where the run's reports go besides the terminal.
struct ReportFiles {
    std::u16string outputFolder;  // -o: the log's folder
    // -m: the file the run's figures are written to for Prometheus (its
    // textfile collector); -j: the file of its JSON Lines report. Both are
    // written at the end of a folder's check or build.
    std::optional<std::u16string> metricsFile;
    std::optional<std::u16string> jsonReportFile;
};

// How a folder's check goes, besides checking each entry.
struct CheckOptions {
    bool rewriteOnDifference = false;  // -vc: a rewrite when something differs
    // -a: a folder's check also walks the folder and reports the files the
    // summary does not list (new, or moved there).
    bool additions = false;
    // -t: check in slices of at most this many seconds, going on where the
    // last one stopped; never more than kLongestSliceSeconds.
    std::optional<std::uint64_t> sliceSeconds;
    // -b: a copy of the folder checked (a backup), from which a damaged,
    // unreadable or missing file is healed where the copy holds the bytes
    // the summary records. Nothing: no file is ever written.
    std::optional<std::u16string> copyFolder;
};

// Which files of the folder a walk takes: -r, and the -x folders.
struct WalkOptions {
    bool recursive = false;
    std::vector<std::u16string> excludedFolders;
};

struct RunSettings {
    std::u16string summaryName;  // "Sumvane.md5"
    std::u16string singleFile;
    // The folder -f names goes by five spellings, each for its own use:
    // - `folder`: as the user wrote it (empty: the current folder); shown on
    //   the bar, and compared with the -x folders;
    // - `folderPath()`: as the paths below it start; every path a build
    //   records, and every path a check looks for, begins with it;
    // - `Folder::path()`: the text an opened folder was opened by, as the
    //   paths of the files in it start (the root's is `folderPath()`);
    // - `RelocationDecision::spelledAs`: the same folder as a summary's
    //   entries spell it when they spell it otherwise (through a link, in
    //   another letter case, as the current folder);
    // - `RelocationDecision::walkRoot()`: what a walk with -a compares the
    //   summary's paths in, `spelledAs` when there is one, else `folderPath()`
    //   (the verify job keeps it as its first reading's `walkRoot`).
    std::u16string folder;
    bool folderGiven = false;
    bool create = false;
    bool verify = false;
    WalkOptions walk;
    CheckOptions check;
    ReportFiles reports;
    StartupRequests startup;

    // `folder` as the paths below it start: with a separator when it needs
    // one (empty stays empty: the current folder).
    std::u16string folderPath() const;
    // The folder's summary: folderPath(), then `summaryName`.
    std::u16string summaryPath() const;
};
