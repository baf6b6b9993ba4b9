// The first reading of a folder's summary, before any file is checked: its
// invalid lines are logged before any file is, its entries counted (for the
// bar, for the record beside it and, for a check in slices, taken into the
// slice), and with -a every name it lists kept. Where its entries are checked
// is decided from its first lines, before any of them is taken, and said
// first. The summary is read from its one open handle, in pieces, so that no
// summary can make the run hold more than a piece and a line of it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/descriptor_budget.h"
#include "engine/listed_names.h"
#include "file_dates.h"
#include "folder.h"
#include "problem_log.h"
#include "run_settings.h"
#include "summary_entries.h"
#include "tessel_file.h"

class Slice;

// What the first reading found.
struct FirstReading {
    bool read = false;             // the summary was read to its end
    SummaryMet met;                // its entries, its length, where they are checked, the files no line can check
    bool anyInvalid = false;       // lines naming no file, each logged
    bool inWalkOrder = true;       // with -a: the entries come in the walk's order
    std::uint64_t bytesTotal = 0;  // the sizes of the files listed, when the display shows them
    // With -a: the root the walk's paths are compared in, as the summary
    // spells the folder checked.
    std::u16string walkRoot;
    LinesFingerprint fingerprint;  // of its entries, as the record beside it is tied to them
    ListedNames listed;            // with -a: every name it lists
};

class FirstReader {
public:
    // `root`: the folder resolved at the start of the run (null when it could
    // not be); `summaryFile` names the summary in it, open for reading.
    FirstReader(const RunSettings& settings, const ProblemLog& problems,
                std::shared_ptr<const TesselLibrary::Folder> root, TesselLibrary::TesselFile& summaryFile)
        : settings_(settings), problems_(problems), root_(std::move(root)), summaryFile_(summaryFile) {}

    // Reads the summary through once, looking into the folders below the root
    // within `folders`; `slice`: the run's slice, null when it has none.
    FirstReading read(DescriptorBudget& folders, Slice* slice) const;

private:
    const RunSettings& settings_;
    const ProblemLog& problems_;
    std::shared_ptr<const TesselLibrary::Folder> root_;
    TesselLibrary::TesselFile& summaryFile_;
};
