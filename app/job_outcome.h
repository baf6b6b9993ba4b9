// What a folder job reports besides its verdict, for the run's closing line.
#pragma once

#include <cstdint>

struct JobOutcome {
    std::uint64_t files = 0;    // files recorded (build) or checked (verify)
    bool previousKept = false;  // a build that could not read everything left the old summary as it was
};
