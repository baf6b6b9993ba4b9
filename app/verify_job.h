// Verifying the folder summary: the invalid lines first, then every entry
// hashed on every core and judged in the summary's order; a rewrite is kept
// only when asked for and something was wrong. The summary is read twice
// from its one open handle (first_reading, second_reading).
#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "engine/descriptor_budget.h"
#include "engine/digest_pipeline.h"
#include "engine/digest_task.h"
#include "engine/verify_item.h"
#include "first_reading.h"
#include "folder_job.h"
#include "item_outcome.h"
#include "job_result.h"
#include "verdict.h"

class VerifyJob : FolderJob {
public:
    // `rewriteFile` names the summary's rewrite in the folder.
    VerifyJob(const JobInputs& inputs, TesselLibrary::TesselFile& rewriteFile)
        : FolderJob(inputs), rewriteFile_(rewriteFile) {}

    // The whole job, ended with progress.EndJob; what it checked.
    JobResult verifySummary();
    // The same with the caller's hashing threads (stand-ins in tests), the
    // folders below the root opened within `folders`.
    // With -a the walk holds folders within `walkFolders` (null: a budget
    // of its own the size of `folders`).
    JobResult verifySummary(const std::function<void(TaskSource& source)>& hash, unsigned threads,
                            DescriptorBudget& folders, DescriptorBudget* walkFolders = nullptr);

private:
    // What the check's line runs on: the hashing threads, and the folders
    // the entries (and with -a the walk) are opened within.
    struct CheckMeans {
        const std::function<void(TaskSource& source)>& hash;
        unsigned threads;
        DescriptorBudget& folders;
        DescriptorBudget* walkFolders;
    };
    // The second reading and every item's judgement, in the summary's (or
    // with -a the walk's) order: each item's outcome judged, then taken into
    // the log, the rewrite, the changes and the healing.
    void checkEntries(const FirstReading& first, const CheckMeans& means, class SliceRun& sliceRun, JobResult& result);
    // The next item checked, the bar standing at it (the `done`th of
    // `entries`) while it is; none when the line is through.
    std::optional<DigestPipeline<VerifyItem>::Next> nextChecked(DigestPipeline<VerifyItem>& checks,
                                                                class SliceRun& sliceRun, std::uint64_t done,
                                                                std::uint64_t entries);
    // The counts of the display and of the result, once an item is done.
    void countDone(const FileDigest& digest, const ItemOutcome& outcome, JobResult& result);
    // The rewrite is kept when asked for, something differed and every
    // entry was met (`complete`); otherwise an old one is removed.
    void finish(class SummaryWriter& rewrite, bool complete);
    // Nothing to check is not a clean bill of health: the summary's problem
    // is said and the job fails, leaving any earlier rewrite where it is.
    JobResult endWithoutSummary();

    TesselLibrary::TesselFile& rewriteFile_;
    // What tells an edit from damage for every entry: when the summary was
    // written (when known), when this check began, and whether the folder
    // keeps dates to two seconds (FAT).
    DateEvidence evidence_;
    // With -b: how many files the copy heals at once (healingShare).
    std::size_t healedAtOnce_ = 1;
};
