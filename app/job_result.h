// What a folder job did, as it counted it: the files recorded in the
// summary a build wrote, or the entries a verification checked.
#pragma once

#include <cstdint>
#include <optional>

#include "slice_coverage.h"

struct JobResult {
    std::uint64_t files = 0;
    bool summaryWritten = false;  // a build replaced the summary with its files
    bool previousKept = false;    // a build that could not read everything left the old summary as it was
    std::optional<SliceCoverage> slice = std::nullopt;  // a check in slices: what it covered
    std::uint64_t bytesRead = 0;                        // what the job read of its files to make their digests
    std::uint64_t entries = 0;                          // a check: the entries of the summary it read
};
