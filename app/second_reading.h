// The second reading of a folder's summary, the producer of a check's line:
// every entry with where its file is, each with its record from the file
// beside the summary (when one fits it), and with -a merged with the walk of
// the folder. It meets exactly the entries the first reading counted, or
// says it did not.
#pragma once

#include <memory>

#include "engine/descriptor_budget.h"
#include "engine/digest_pipeline.h"
#include "engine/entry_resolver.h"
#include "engine/verify_item.h"
#include "file_dates.h"
#include "first_reading.h"
#include "folder.h"
#include "run_settings.h"
#include "tessel_file.h"

class Slice;

class SecondReader {
public:
    // `summaryFile` read through once by `first`, in the folder `root` (null
    // when it could not be opened). The record beside the summary is opened
    // here: a summary that is a rewrite moved into its place takes in the
    // rewrite's record, in one rename.
    SecondReader(const RunSettings& settings, std::shared_ptr<const TesselLibrary::Folder> root,
                 TesselLibrary::TesselFile& summaryFile, const FirstReading& first);

    // Hands every entry to `sink`, the folders below the root opened within
    // `folders` (with -a the walk's within `walkFolders`, null: a budget of
    // its own the size of `folders`); with `slice`, from the slice's first
    // entry round to where it began. False when it did not meet exactly the
    // entries the first reading counted.
    bool produce(ItemSink<VerifyItem>& sink, DescriptorBudget& folders, DescriptorBudget* walkFolders,
                 const Slice* slice);

private:
    // With -a: merged with the walk, in the walk's order.
    bool produceWithWalk(ItemSink<VerifyItem>& sink, EntryResolver& resolver, DescriptorBudget& folders,
                         DescriptorBudget* walkFolders);
    // A check in slices: the entries from the slice's first to the last,
    // then from the first entry round to where it began.
    bool produceSlice(ItemSink<VerifyItem>& sink, EntryResolver& resolver, std::uint64_t from);
    // The entries from the summary's start again, each with its record
    // again; null when the summary cannot be read again.
    std::unique_ptr<StreamedEntries> readAgain();

    const RunSettings& settings_;
    std::shared_ptr<const TesselLibrary::Folder> root_;
    TesselLibrary::TesselFile& summaryFile_;
    const FirstReading& first_;
    std::unique_ptr<FileDatesReader> dates_;  // null when no record fits
};
