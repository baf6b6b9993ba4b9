#include "summary_entries.h"

#include <algorithm>
#include <functional>

const std::u16string& orderKey(const SummaryEntry& entry) {
    const std::u16string& name = entry.name;
    if (name.size() < 2 || (name[0] != u' ' && name[0] != u'*')) return name;
    for (const std::u16string& other : entry.otherReadings) {
        if (other.size() + 1 == name.size() && name.compare(1, std::u16string::npos, other) == 0) return other;
    }
    return name;
}

bool StreamedEntries::next(SummaryEntry& entry) {
    SummaryLine line;
    while (reader_.Next(line)) {
        ++lines_;
        // A last line without its end where the first reading had more: the
        // file was cut within that line, and it names no file.
        if (line.unterminated && reader_.bytesRead() != bytes_) return false;
        if (line.kind != SummaryLine::Kind::Entry || own_.named(line.entry, relocation_)) continue;
        // More than were counted: the file grew; what follows was never
        // counted, and the check stops short of it.
        if (++read_ > counted_) return false;
        relocation_.apply(line.entry);
        if (dates_) line.entry.asRead = dates_->next();
        entry = std::move(line.entry);
        return true;
    }
    ended_ = true;
    return false;
}

namespace {

// What an entry takes in memory, near enough to bound the whole.
std::size_t HeldBytes(const SummaryEntry& entry) {
    std::size_t bytes =
        sizeof(SummaryEntry) + 2 * entry.name.capacity() + entry.otherReadings.capacity() * sizeof(std::u16string);
    for (const std::u16string& other : entry.otherReadings) bytes += 2 * other.capacity();
    return bytes;
}

}  // namespace

SortedEntries::SortedEntries(Reading reading, const WalkOrder& order, std::size_t heldBytes)
    : reading_(std::move(reading)), before_{order}, heldBytes_(heldBytes) {}

bool SortedEntries::Before::operator()(const Held& a, const Held& b) const {
    const std::u16string& keyA = orderKey(a.entry);
    const std::u16string& keyB = orderKey(b.entry);
    if (order.before(keyA, keyB)) return true;
    if (order.before(keyB, keyA)) return false;
    return a.index < b.index;
}

bool SortedEntries::pass() {
    if (!more_) return false;
    std::unique_ptr<SummaryEntries> source = reading_ ? reading_() : nullptr;
    if (!source) {
        whole_ = false;
        more_ = false;
        return false;
    }
    ++passes_;
    Pass pass(before_, heldBytes_, held_);
    Held next;
    for (std::uint64_t index = 0; source->next(next.entry); ++index) {
        next.index = index;
        if (last_ && !before_(*last_, next)) continue;  // given already
        if (pass.later(next)) continue;                 // for a later pass
        next.bytes = HeldBytes(next.entry);
        pass.hold(std::move(next));
        next = Held{};
    }
    more_ = pass.leftAny();
    if (!source->whole()) {
        whole_ = false;
        more_ = false;
    }
    // Given from the back: the first in the order last.
    std::sort_heap(held_.begin(), held_.end(), std::cref(before_));
    std::reverse(held_.begin(), held_.end());
    return !held_.empty();
}

void SortedEntries::Pass::hold(Held&& next) {
    // A heap of the smallest entries after the last given, the largest on
    // top: one smaller than it takes the place of as many as it needs.
    while (!heap_.empty() && bytes_ + next.bytes > bound_ && before_(next, heap_.front())) {
        std::pop_heap(heap_.begin(), heap_.end(), std::cref(before_));
        bytes_ -= heap_.back().bytes;
        leave(std::move(heap_.back()));
        heap_.pop_back();
    }
    if (!heap_.empty() && bytes_ + next.bytes > bound_) {
        leave(std::move(next));  // after every one held
        return;
    }
    bytes_ += next.bytes;
    heap_.push_back(std::move(next));
    std::push_heap(heap_.begin(), heap_.end(), std::cref(before_));
}

void SortedEntries::Pass::leave(Held&& entry) {
    if (!left_ || before_(entry, *left_)) left_ = std::move(entry);
}

bool SortedEntries::next(SummaryEntry& entry) {
    if (held_.empty() && !pass()) return false;
    Held& first = held_.back();
    // Only its name is needed to find the entries after it.
    last_ = Held{};
    last_->index = first.index;
    last_->entry.name = first.entry.name;
    last_->entry.otherReadings = first.entry.otherReadings;
    entry = std::move(first.entry);
    held_.pop_back();
    return true;
}
