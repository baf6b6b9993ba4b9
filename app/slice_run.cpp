#include "slice_run.h"

#include "string_ids.h"

// The time left is the clock's count since the start (nanoseconds on
// most systems) against the slice's: the longest slice must fit in it,
// twice over, with the count the clock starts from.
static_assert(std::chrono::steady_clock::duration::max() / 2 >= std::chrono::seconds(kLongestSliceSeconds));

SliceRun::SliceRun(const RunSettings& settings, const std::shared_ptr<const TesselLibrary::Folder>& root,
                   const ProblemLog& problems)
    : problems_(problems), placeFile_(root, settings.summaryName, settings.summaryPath()) {
    if (settings.check.sliceSeconds) slice_.emplace(std::chrono::seconds(*settings.check.sliceSeconds));
}

void SliceRun::begin(std::uint64_t entries) {
    if (slice_) slice_->begin(placeFile_.load(), entries);
}

bool SliceRun::judged(std::uint64_t line) {
    if (!slice_) return true;
    const bool goOn = slice_->judged(line);
    if (slice_->saveDue()) keep();
    return goOn;
}

void SliceRun::waiting() {
    if (slice_ && slice_->saveDue()) keep();
}

void SliceRun::end(JobResult& result) {
    if (!slice_) return;
    keep();
    result.slice = slice_->coverage();
}

void SliceRun::keep() {
    if (placeFile_.save(slice_->place()) || lost_) return;
    lost_ = true;
    problems_.logProblem(placeFile_.path(), kUnableToWrite);
}
