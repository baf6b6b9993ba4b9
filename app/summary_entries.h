// The entries of a summary, one after another, for the second reading of a
// check: streamed from the file in pieces, or (for a check that merges them
// with a walk, when the summary is not in the walk's order) held and sorted.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/walk_order.h"
#include "own_files.h"
#include "relocation.h"
#include "summary_format.h"
#include "tessel_file.h"

// The name an entry takes its place in the walk's order by: its first
// reading, unless that is md5sum's mode character (" " or "*") before a
// name its other readings hold, as in every line md5sum writes.
const std::u16string& orderKey(const SummaryEntry& entry);

class SummaryEntries {
public:
    // False after the last.
    virtual bool next(SummaryEntry& entry) = 0;

protected:
    ~SummaryEntries() = default;
};

// The entries of the summary file, read again from the start of its handle:
// exactly the `counted` ones the first reading met in its `bytes`, or
// whole() says not; each named where `relocation` puts it, so that all that
// follows sees the names of a moved summary where its files are now. A line
// naming one of `own` is none of them, as the first reading judged it.
class StreamedEntries final : public SummaryEntries {
public:
    StreamedEntries(TesselLibrary::TesselFile& file, const std::u16string& summaryName, std::uint64_t counted,
                    std::uint64_t bytes, Relocation relocation = {}, OwnFiles own = {})
        : reader_(file, summaryName), counted_(counted), bytes_(bytes), relocation_(std::move(relocation)),
          own_(std::move(own)) {}
    bool next(SummaryEntry& entry) override;
    // The summary's line (from 1) of the entry next() gave last.
    std::uint64_t line() const { return lines_; }
    // Every entry was read, and no more than were counted: false when a
    // read failed, or the file was cut or grown since the first reading.
    bool whole() const { return ended_ && !reader_.readFailed() && read_ == counted_; }

private:
    SummaryReader reader_;
    std::uint64_t counted_;
    std::uint64_t bytes_;
    Relocation relocation_;
    OwnFiles own_;
    std::uint64_t read_ = 0;
    std::uint64_t lines_ = 0;
    bool ended_ = false;
};

// All entries of another source in memory, in the walk's order (stable:
// entries the order cannot tell apart keep theirs).
class SortedEntries final : public SummaryEntries {
public:
    SortedEntries(SummaryEntries& source, const WalkOrder& order);
    bool next(SummaryEntry& entry) override;

private:
    std::vector<SummaryEntry> entries_;
    std::size_t next_ = 0;
};
