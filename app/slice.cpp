#include "slice.h"

using namespace TesselLibrary;

Slice::Slice(std::chrono::seconds budget, Clock clock, Today today)
    : budget_(budget), clock_(std::move(clock)), today_(std::move(today)), started_(clock_()), saved_(started_) {}

void Slice::noteEntry(const SummaryEntry& entry) { fingerprint_.add(entry.digest, entry.name); }

void Slice::begin(const std::optional<SlicePlace>& saved, std::uint64_t entries) {
    entries_ = entries;
    if (saved && saved->entries == entries && saved->fingerprint == fingerprint_.value() && saved->next < entries) {
        first_ = saved->next;
        lastFullRound_ = saved->lastFullRound;
    }
}

bool Slice::judged(std::uint64_t line) {
    const std::uint64_t entry = (first_ + checked_) % entries_;
    ++checked_;
    // A new range of lines where the run came round to the first entry.
    if (lines_.empty() || entry == 0) {
        lines_.push_back({line, line});
    } else {
        lines_.back().second = line;
    }
    if (entry + 1 == entries_) lastFullRound_ = today_();
    return clock_() - started_ < budget_;
}

bool Slice::saveDue() {
    if (checked_ == checkedSaved_) return false;
    const auto now = clock_();
    if (now - saved_ < kSaveEvery) return false;
    saved_ = now;
    checkedSaved_ = checked_;
    return true;
}

SlicePlace Slice::place() const {
    SlicePlace place;
    place.entries = entries_;
    place.fingerprint = fingerprint_.value();
    place.next = entries_ == 0 ? 0 : (first_ + checked_) % entries_;
    place.lastFullRound = lastFullRound_;
    return place;
}

SliceCoverage Slice::coverage() const {
    SliceCoverage coverage;
    coverage.checked = checked_;
    coverage.entries = entries_;
    coverage.lines = lines_;
    coverage.lastFullRound = lastFullRound_;
    return coverage;
}
