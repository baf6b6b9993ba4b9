// Building the folder summary: walk the tree below the folder the run
// resolved, hash its files on every core, and write one line per file in
// the walk's order. The old summary is replaced only by a complete new one.
#pragma once

#include <memory>

#include "engine/digest_pipeline.h"
#include "engine/tree_walk.h"
#include "folder_job.h"
#include "job_result.h"

class BuildJob : FolderJob {
public:
    explicit BuildJob(const JobInputs& inputs) : FolderJob(inputs) {}

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

    // The bar's place at the file coming: its files done of those likely.
    double barDone_ = 0;
    double barTotal_ = 1;
};
