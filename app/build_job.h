// Building the folder summary: collect the folders, list every file into a
// work list, then hash the list on every core and write one line per file
// in list order.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "closing_line.h"
#include "problem_log.h"
#include "run_settings.h"
#include "tessel_file.h"
#include "tessel_progress.h"

class BuildJob {
public:
    BuildJob(const RunSettings& settings, const ProblemLog& problems, TesselLibrary::TesselProgress& progress,
             TesselLibrary::TesselFile& summaryFile);

    // The whole job, ended with progress.EndJob; what it recorded.
    JobResult buildSummary();
    // The folder and, when recursive, every folder below it that is not
    // excluded, depth first, each ending in the separator.
    void collectFolders(const std::u16string& path);
    const std::vector<std::u16string>& folders() const { return folders_; }

private:
    // One step of the summary, in the order its lines and log lines come.
    struct Item {
        enum class Kind { UnreadableFolder, UnwritableName, File } kind;
        std::u16string path;
        std::size_t folder;  // index in folders_
        std::uint64_t size;  // of a File, when sizes were asked for
    };

    std::vector<Item> listFiles(bool sizes);
    bool isSummaryName(const std::u16string& name) const;
    bool isTemporaryName(const std::u16string& name) const;

    const RunSettings& settings_;
    const ProblemLog& problems_;
    TesselLibrary::TesselProgress& progress_;
    TesselLibrary::TesselFile& summaryFile_;
    std::vector<std::u16string> excludedFolders_;  // full paths
    std::vector<std::u16string> folders_;
    // Indices in folders_ whose subfolders could not all be listed.
    std::set<std::size_t> incompletelyListed_;
};
