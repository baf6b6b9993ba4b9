#include "slice.h"

using namespace TesselLibrary;

Slice::Timer::Timer(std::chrono::seconds budget, Clock clock)
    : budget_(budget), clock_(std::move(clock)), started_(clock_()), saved_(started_) {}

bool Slice::Timer::saveDue(std::uint64_t checked) {
    if (checked == checkedSaved_) return false;
    const auto now = clock_();
    if (now - saved_ < kSaveEvery) return false;
    saved_ = now;
    checkedSaved_ = checked;
    return true;
}

Slice::Slice(std::chrono::seconds budget, Clock clock, Today today)
    : timer_(budget, std::move(clock)), today_(std::move(today)) {}

void Slice::noteEntry(const SummaryEntry& entry) { fingerprint_.add(entry.digest, entry.name); }

void Slice::begin(const std::optional<SlicePlace>& saved, std::uint64_t entries) {
    coverage_.entries = entries;
    if (saved && saved->entries == entries && saved->fingerprint == fingerprint_.value() && saved->next < entries) {
        first_ = saved->next;
        coverage_.lastFullRound = saved->lastFullRound;
    }
}

bool Slice::judged(std::uint64_t line) {
    const std::uint64_t entry = (first_ + coverage_.checked) % coverage_.entries;
    ++coverage_.checked;
    // A new range of lines where the run came round to the first entry.
    if (coverage_.lines.empty() || entry == 0) {
        coverage_.lines.push_back({line, line});
    } else {
        coverage_.lines.back().second = line;
    }
    if (entry + 1 == coverage_.entries) coverage_.lastFullRound = today_();
    return timer_.within();
}

bool Slice::saveDue() { return timer_.saveDue(coverage_.checked); }

SlicePlace Slice::place() const {
    SlicePlace place;
    place.entries = coverage_.entries;
    place.fingerprint = fingerprint_.value();
    place.next = coverage_.entries == 0 ? 0 : (first_ + coverage_.checked) % coverage_.entries;
    place.lastFullRound = coverage_.lastFullRound;
    return place;
}

SliceCoverage Slice::coverage() const { return coverage_; }
