// What a check in slices covered: said in its closing line.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "local_time.h"

struct SliceCoverage {
    std::uint64_t checked = 0;  // entries checked by this run
    std::uint64_t entries = 0;  // entries the summary holds
    // The summary's lines checked, first and last, numbered from 1: two
    // ranges when the run went past the last entry and on from the first.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> lines;
    // When every entry was last checked, by this run and the ones before it.
    std::optional<TesselLibrary::TesselDateTime> lastFullRound;
};
