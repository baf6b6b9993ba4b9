// What the command line asked for, in the order it documents them. Filled
// by parseCommandLine; read by the start-up actions and the jobs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What "--help" or "--version" asked for in place of a run.
enum class InformationRequest { None, Help, Version };

struct RunSettings {
    std::u16string summaryName;  // "Sumvane.md5"
    std::u16string singleFile;
    std::u16string folder;
    std::u16string outputFolder;
    std::vector<std::u16string> excludedFolders;
    bool folderGiven = false;
    bool rewriteOnDifference = false;
    bool create = false;
    bool showHelp = true;
    bool installVerb = false;
    bool hashToClipboard = false;
    bool recursive = false;
    bool uninstallVerb = false;
    bool verify = false;
    // -a: a folder's check also walks the folder and reports the files the
    // summary does not list (new, or moved there).
    bool additions = false;
    // -t: check in slices of at most this many seconds, going on where the
    // last one stopped.
    std::optional<std::uint64_t> sliceSeconds;
    // Set, the run does nothing but say it and fail: options that cannot
    // work together.
    std::u16string refusal;
    // Set, the run only answers it: no start-up action, no work.
    InformationRequest informationRequest = InformationRequest::None;

    // `folder` as the paths below it start: with a separator when it needs
    // one (empty stays empty: the current folder).
    std::u16string folderPath() const;
    // The folder's summary: folderPath(), then `summaryName`.
    std::u16string summaryPath() const;
};
