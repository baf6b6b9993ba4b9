// A check in slices (-t): each run checks the summary's entries from where
// the last one stopped, for at most its time or until it comes back round to
// where it began, so that every night checks the files checked longest ago
// and the whole archive is covered every few nights.
//
// This object holds the slice's start, its stop and its place; it reads no
// file and knows no clock but the ones it is given, so a test can run it on
// a stand-in clock. Calling sequence:
//
//     Slice slice(budget);
//     slice.noteEntry(entry); ...          // the first reading, every entry
//     slice.begin(savedPlace, entries);    // where this run starts: first()
//     while (...) {
//         if (!slice.judged(line)) break;  // time up
//         if (slice.saveDue()) save(slice.place());
//     }
//     save(slice.place()); slice.coverage();
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

#include "file_dates.h"
#include "local_time.h"
#include "slice_coverage.h"
#include "slice_place.h"
#include "summary_format.h"

class Slice {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    using Today = std::function<TesselLibrary::TesselDateTime()>;

    // How often the place is saved while the run goes, so that a run that is
    // killed or loses its power is checked again from at most this far back.
    static constexpr std::chrono::seconds kSaveEvery{1};

    // The time counts from here.
    explicit Slice(std::chrono::seconds budget, Clock clock = std::chrono::steady_clock::now,
                   Today today = TesselLibrary::LocalDateTime);

    // Each entry of the first reading, in order: the place belongs to these.
    void noteEntry(const SummaryEntry& entry);
    // The summary read through: `entries` of them. The saved place counts
    // when it belongs to this very summary; otherwise the run starts at the
    // first entry, and no full round has been made of it yet.
    void begin(const std::optional<SlicePlace>& saved, std::uint64_t entries);
    // The entry (from 0) this run checks first; the run goes on to the last
    // and then from the first, at most once round.
    std::uint64_t first() const { return first_; }

    // One entry checked, at summary line `line` (from 1). False when the
    // time is up: the run stops there. Every run checks at least one entry,
    // so that a summary read more slowly than its time still moves on.
    bool judged(std::uint64_t line);
    // The place moved, and was last saved kSaveEvery ago or more.
    bool saveDue();
    // Where the next run goes on.
    SlicePlace place() const;
    SliceCoverage coverage() const;

private:
    // The run's time on its clock: whether it is up, and whether the place
    // is due to be saved again.
    class Timer {
    public:
        // The time counts from here.
        Timer(std::chrono::seconds budget, Clock clock);
        bool within() const { return clock_() - started_ < budget_; }
        // With `checked` entries checked by now: true (and the place counts
        // as saved now) when that moved since the last save, kSaveEvery ago
        // or more.
        bool saveDue(std::uint64_t checked);

    private:
        std::chrono::seconds budget_;
        Clock clock_;
        std::chrono::steady_clock::time_point started_;
        std::chrono::steady_clock::time_point saved_;
        std::uint64_t checkedSaved_ = 0;  // when the place was last saved
    };

    Timer timer_;
    Today today_;
    LinesFingerprint fingerprint_;
    std::uint64_t first_ = 0;
    // What the run checked so far, of how many entries.
    SliceCoverage coverage_;
};
