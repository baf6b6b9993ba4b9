// Verifying the folder summary: the invalid lines first, then every entry
// hashed on every core and judged in the summary's order; a rewrite is kept
// only when asked for and something was wrong. The summary is read twice
// from its one open handle, in pieces, so that no summary can make the run
// hold more than a piece and a line of it.
#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "engine/descriptor_budget.h"
#include "engine/digest_pipeline.h"
#include "engine/digest_task.h"
#include "engine/entry_resolver.h"
#include "engine/listed_names.h"
#include "engine/verify_item.h"
#include "file_dates.h"
#include "folder.h"
#include "healing.h"
#include "job_bar.h"
#include "job_result.h"
#include "own_files.h"
#include "problem_log.h"
#include "relocation.h"
#include "run_settings.h"
#include "summary_entries.h"
#include "tessel_file.h"
#include "tessel_progress.h"
#include "verdict.h"

class VerifyJob {
public:
    // `root`: the folder resolved at the start of the run (null when it
    // could not be); the two files name the summary and its rewrite in it.
    VerifyJob(const RunSettings& settings, const ProblemLog& problems, TesselLibrary::TesselProgress& progress,
              std::shared_ptr<const TesselLibrary::Folder> root, TesselLibrary::TesselFile& summaryFile,
              TesselLibrary::TesselFile& rewriteFile)
        : settings_(settings), problems_(problems), progress_(progress), bar_(progress), root_(std::move(root)),
          summaryFile_(summaryFile), rewriteFile_(rewriteFile), before_(problems.counts()) {}

    // The whole job, ended with progress.EndJob; what it checked.
    JobResult verifySummary();
    // The same with the caller's hashing threads (stand-ins in tests), the
    // folders below the root opened within `folders`.
    // With -a the walk holds folders within `walkFolders` (null: a budget
    // of its own the size of `folders`).
    JobResult verifySummary(const std::function<void(TaskSource& source)>& hash, unsigned threads,
                            DescriptorBudget& folders, DescriptorBudget* walkFolders = nullptr);

private:
    // What the first reading of the summary found.
    struct FirstReading {
        bool read = false;          // the summary was read to its end
        std::uint64_t entries = 0;  // lines naming a file
        bool anyInvalid = false;    // lines naming none, each logged
        bool inWalkOrder = true;    // with -a: the entries come in the walk's order
        std::uint64_t bytes = 0;    // how long the summary was
        Relocation relocation;      // where its entries are checked
        OwnFiles own;               // the files no line can check
        // With -a: the root the walk's paths are compared in, as the
        // summary spells the folder checked.
        std::u16string walkRoot;
        bool undecided = false;     // two folders fitted them equally (logged): the run fails
        LinesFingerprint fingerprint;  // of its entries, as the record beside it is tied to them
        SummaryMet met() const { return {entries, bytes, relocation, own}; }
    };
    // Reads the summary once: its invalid lines are logged before any file
    // is, and its entries counted for the bar (and, for a check in slices,
    // taken into `slice`); with -a every name it lists is kept in `listed_`.
    // Where its entries are checked is decided from its first lines, before
    // any of them is taken.
    FirstReading readFirst(DescriptorBudget& folders, class Slice* slice);
    // Where the entries the finder was offered are checked, from what exists
    // below the folder checked.
    RelocationDecision findRelocation(const RelocationFinder& finder, DescriptorBudget& folders);
    // The record of each entry's file as read for the summary, when one
    // beside it fits it; null when none does (ignored, said nowhere). A
    // summary that is a rewrite moved into its place takes in the rewrite's
    // record, in one rename.
    std::unique_ptr<FileDatesReader> openDates(const FirstReading& first);
    // Takes the decision, made once per run, into `first`, saying so when
    // the entries moved or when it cannot tell (the log's first line).
    void sayRelocation(const RelocationDecision& decision, FirstReading& first);
    // The second reading, the producer of the line: every entry with where
    // its file is, and with -a merged with the walk of the folder. False
    // when it did not meet exactly the entries the first reading counted.
    bool produce(ItemSink<VerifyItem>& sink, const FirstReading& first, DescriptorBudget& folders,
                 DescriptorBudget* walkFolders, const class Slice* slice);
    // The second reading of a check in slices: the entries from the slice's
    // first to the last, then from the first entry round to where it began.
    bool produceSlice(ItemSink<VerifyItem>& sink, const FirstReading& first, EntryResolver& resolver,
                      std::uint64_t from);
    // The second reading and every item's judgement, in the summary's (or
    // with -a the walk's) order.
    void checkEntries(const FirstReading& first, const std::function<void(TaskSource& source)>& hash,
                      unsigned threads, DescriptorBudget& folders, DescriptorBudget* walkFolders,
                      class SliceRun& sliceRun, JobResult& result);
    // Logs, counts and rewrites what one item came to.
    void take(const VerifyItem& item, const std::u16string& name, const FileDigest& digest,
              class SummaryWriter& rewrite, class Changes& changes, JobResult& result);
    // With -b: heals a file the verdict says is damaged, unreadable or
    // missing, and says how it went; true when the copy's file is in place.
    bool heal(const VerifyItem& item, const std::u16string& name, const FileDigest& digest, Verdict verdict);
    // The counts of the display, once an entry is done.
    void countDone(const FileDigest& digest);
    // The log line of an entry's verdict, if it has one.
    void report(Verdict verdict, const std::u16string& name, const char (&stored)[32], const FileDigest& digest);
    // The rewrite is kept when asked for, something differed and every
    // entry was met (`complete`); otherwise an old one is removed.
    void finish(class SummaryWriter& rewrite, bool complete, bool differed);
    // Nothing to check is not a clean bill of health: the summary's problem
    // is said and the job fails, leaving any earlier rewrite where it is.
    JobResult endWithoutSummary();

    const RunSettings& settings_;
    const ProblemLog& problems_;
    TesselLibrary::TesselProgress& progress_;
    JobBar bar_;
    TesselLibrary::ProgressCounts counts_;
    std::shared_ptr<const TesselLibrary::Folder> root_;
    TesselLibrary::TesselFile& summaryFile_;
    TesselLibrary::TesselFile& rewriteFile_;
    const RunCounts before_;  // what the run had counted when this job began
    std::optional<TesselLibrary::FileTime> recorded_;  // when the summary was written, when known
    TesselLibrary::FileTime began_;                     // when this check began
    bool twoSecondDates_ = false;                       // the folder keeps dates to two seconds (FAT)
    std::unique_ptr<FileDatesReader> dates_;            // read by the second reading alone
    ListedNames listed_;
    std::optional<Healer> healer_;  // with -b
};
