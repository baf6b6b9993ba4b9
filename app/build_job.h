// Building the folder summary: walk the tree below the folder the run
// resolved, hash its files on every core, and write one line per file in
// the walk's order. The old summary is replaced only by a complete new one.
#pragma once

#include <memory>

#include "engine/digest_pipeline.h"
#include "engine/tree_walk.h"
#include "folder.h"
#include "job_bar.h"
#include "job_result.h"
#include "problem_log.h"
#include "run_settings.h"
#include "tessel_file.h"
#include "tessel_progress.h"

class BuildJob {
public:
    // `root`: the folder resolved at the start of the run (null when it
    // could not be); `summaryFile` names the summary inside it.
    BuildJob(const RunSettings& settings, const ProblemLog& problems, TesselLibrary::TesselProgress& progress,
             std::shared_ptr<const TesselLibrary::Folder> root, TesselLibrary::TesselFile& summaryFile);

    // The whole job over the tree and its files, ended with progress.EndJob;
    // what it recorded.
    JobResult buildSummary();
    // The job from its listing on, over the caller's listing and hashing
    // threads (stand-ins in tests), ended with progress.EndJob.
    JobResult buildSummary(BuildListing& listing, const DigestPipeline<BuildItem>::Hash& hash, unsigned threads,
                           bool sizesListed);

private:
    // The bar and folder of what comes next, shown while its file is hashed.
    void showUpcoming(const BuildItem& upcoming, const BuildListing& listing, bool listed);
    // The file coming is `read` of its `size` bytes read.
    void showReading(std::uint64_t read, std::uint64_t size);
    // The counts of the display, once an item is done.
    void countDone(const BuildItem& item, const FileDigest& digest, const BuildListing& listing, bool listed,
                   bool sizesListed);
    // A summary whose every line reached the disk replaces the old one,
    // unless something could not be read and there is an old one to keep.
    void finish(class SummaryWriter& summary, bool readFailure, JobResult& result);

    const RunSettings& settings_;
    const ProblemLog& problems_;
    TesselLibrary::TesselProgress& progress_;
    JobBar bar_;
    TesselLibrary::ProgressCounts counts_;
    // The bar's place at the file coming: its files done of those likely.
    double barDone_ = 0;
    double barTotal_ = 1;
    std::shared_ptr<const TesselLibrary::Folder> root_;
    TesselLibrary::TesselFile& summaryFile_;
    const RunCounts before_;  // what the run had counted when this job began
};
