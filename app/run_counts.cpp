#include "run_counts.h"

bool runFailed(const RunCounts& counts, bool logFailed, const RunCounts& before) {
    return counts.problems + counts.saidElsewhere != before.problems + before.saidElsewhere || logFailed;
}
