// The figures of one run, as the reports for other programs give them (the
// metrics file, the last object of the JSON report): gathered once at the
// end of the run (or at its interrupt), then only read.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

// Problems of each kind, as the closing line names them.
struct ProblemFigures {
    std::uint64_t damaged = 0;            // bytes changed, date not
    std::uint64_t edited = 0;             // bytes changed, written since the summary
    std::uint64_t mismatched = 0;         // bytes changed, when not known
    std::uint64_t missing = 0;            // File Not Found
    std::uint64_t unreadable = 0;         // Error computing MD5
    std::uint64_t unreadableFolders = 0;  // Unable to Read Folder
    std::uint64_t invalidLines = 0;       // Invalid input line
    std::uint64_t unwritable = 0;         // Unable to Write to File
    std::uint64_t notOnDisk = 0;          // Replaced, but may not be on disk
    std::uint64_t missingData = 0;        // Missing Data
    std::uint64_t moved = 0;              // Moved to
    std::uint64_t undecided = 0;          // recorded under one of several folders
};

// A kind of problem by the name both reports give it (the metrics' label,
// the JSON report's key), and its count.
struct ProblemCount {
    const char* name;
    std::uint64_t count;
};

// Every kind, in the order the reports list them.
inline std::array<ProblemCount, 12> problemCounts(const ProblemFigures& p) {
    return {{{"damaged", p.damaged},
             {"edited", p.edited},
             {"mismatch", p.mismatched},
             {"missing", p.missing},
             {"unreadable", p.unreadable},
             {"unreadable_folder", p.unreadableFolders},
             {"invalid_line", p.invalidLines},
             {"unwritable", p.unwritable},
             {"not_on_disk", p.notOnDisk},
             {"missing_data", p.missingData},
             {"moved", p.moved},
             {"undecided", p.undecided}}};
}

// A check in slices: what this run covered.
struct SliceFigures {
    std::uint64_t entriesChecked = 0;
    std::uint64_t entries = 0;
    std::optional<std::int64_t> fullRoundAt;  // when the last full round finished; none before the first
};

// A check that heals from a copy (-b): the files it was to heal.
struct RepairFigures {
    std::uint64_t repaired = 0;     // repaired or restored from the copy
    std::uint64_t notRepaired = 0;  // no good copy, or not written
};

struct RunFigures {
    std::u16string folder;       // as it was given (-f)
    std::int64_t startedAt = 0;  // seconds since 1970-01-01 UTC
    double seconds = 0;          // how long it took
    int exitCode = 1;
    bool interrupted = false;  // stopped by a signal: what it counted is not known
    std::uint64_t filesChecked = 0;
    std::uint64_t bytesRead = 0;
    std::uint64_t recordedFiles = 0;  // entries of the folder's summary
    ProblemFigures problems;
    std::uint64_t newFiles = 0;
    std::optional<SliceFigures> slice;
    std::optional<RepairFigures> repairs;
};
