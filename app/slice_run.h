// The slice of one check, when -t asked for one: the Slice that says where
// the run starts and when it stops, and its place kept in its file as the run
// goes. A place that cannot be written is said once, for the file, and is a
// problem of the run: the next one would check the same files again.
#pragma once

#include <memory>
#include <optional>

#include "folder.h"
#include "job_result.h"
#include "problem_log.h"
#include "run_settings.h"
#include "slice.h"
#include "slice_place.h"

class SliceRun {
public:
    // The slice's time counts from here. Nothing to do without -t.
    SliceRun(const RunSettings& settings, const std::shared_ptr<const TesselLibrary::Folder>& root,
             const ProblemLog& problems);

    // The run's slice; null when the check is not one in slices.
    Slice* slice() { return slice_ ? &*slice_ : nullptr; }
    // The summary read through once: where this run starts.
    void begin(std::uint64_t entries);
    // One item judged, at summary line `line`: false when the slice's time
    // is up and the run stops here. Always true without -t.
    bool judged(std::uint64_t line);
    // Whether the run is a check in slices.
    bool active() const { return slice_.has_value(); }
    // The run waits for a file (a large one being read): the place is kept
    // when it moved, at most once a second, so that a run stopped during
    // the wait keeps what it had checked before.
    void waiting();
    // The run's end: the place kept, and what the slice covered put in
    // `result`.
    void end(JobResult& result);

private:
    void keep();

    const ProblemLog& problems_;
    std::optional<Slice> slice_;
    SlicePlaceFile placeFile_;
    bool lost_ = false;
};
