#include "summary_entries.h"

#include <algorithm>

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
        entry = std::move(line.entry);
        return true;
    }
    ended_ = true;
    return false;
}

SortedEntries::SortedEntries(SummaryEntries& source, const WalkOrder& order) {
    SummaryEntry entry;
    while (source.next(entry)) entries_.push_back(std::move(entry));
    std::stable_sort(entries_.begin(), entries_.end(),
                     [&](const SummaryEntry& a, const SummaryEntry& b) { return order.before(orderKey(a), orderKey(b)); });
}

bool SortedEntries::next(SummaryEntry& entry) {
    if (next_ == entries_.size()) return false;
    entry = std::move(entries_[next_++]);
    return true;
}
