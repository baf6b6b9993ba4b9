// The entries of a summary, one after another, for the second reading of a
// check: streamed from the file in pieces, or (for a check that merges them
// with a walk, when the summary is not in the walk's order) held and sorted.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/walk_order.h"
#include "own_files.h"
#include "file_dates.h"
#include "relocation.h"
#include "summary_format.h"
#include "tessel_file.h"

// The name an entry takes its place in the walk's order by: its first
// reading, unless that is md5sum's mode character (" " or "*") before a
// name its other readings hold, as in every line md5sum writes.
const std::u16string& orderKey(const SummaryEntry& entry);

class SummaryEntries {
public:
    virtual ~SummaryEntries() = default;
    // False after the last.
    virtual bool next(SummaryEntry& entry) = 0;
    // After the last: every entry was read, as the first reading counted them.
    virtual bool whole() const = 0;
};

// What the first reading of a summary met, which a later reading must meet
// again.
struct SummaryMet {
    std::uint64_t counted = 0;  // its entries
    std::uint64_t bytes = 0;    // its length
    Relocation relocation;      // where its entries are checked
    OwnFiles own;               // the files no line of it can check
};

// The entries of the summary file, read again from the start of its handle:
// exactly the `counted` ones the first reading met in its `bytes`, or
// whole() says not; each named where `relocation` puts it, so that all that
// follows sees the names of a moved summary where its files are now. A line
// naming one of `own` is none of them, as the first reading judged it. Each
// comes with its record from `dates` (tied to the summary, at its first
// entry) when given, read along with it.
class StreamedEntries final : public SummaryEntries {
public:
    StreamedEntries(TesselLibrary::TesselFile& file, const std::u16string& summaryName, SummaryMet met,
                    FileDatesReader* dates = nullptr)
        : reader_(file, summaryName),
          counted_(met.counted),
          bytes_(met.bytes),
          relocation_(std::move(met.relocation)),
          own_(std::move(met.own)),
          dates_(dates) {}
    bool next(SummaryEntry& entry) override;
    // The summary's line (from 1) of the entry next() gave last.
    std::uint64_t line() const { return lines_; }
    // Every entry was read, and no more than were counted: false when a
    // read failed, or the file was cut or grown since the first reading.
    bool whole() const override { return ended_ && !reader_.readFailed() && read_ == counted_; }

private:
    SummaryReader reader_;
    std::uint64_t counted_;
    std::uint64_t bytes_;
    Relocation relocation_;
    OwnFiles own_;
    FileDatesReader* dates_;
    std::uint64_t read_ = 0;
    std::uint64_t lines_ = 0;
    bool ended_ = false;
};

// The entries of a source in the walk's order (stable: entries the order
// cannot tell apart keep theirs), within a bound of memory: each pass reads
// the source again from its first entry and keeps the next entries in that
// order (those after the last one given) that fit in `heldBytes`, then
// gives them. A summary of a million lines in another order (a list md5sum
// wrote) so takes a few passes, never the memory of all its lines.
class SortedEntries final : public SummaryEntries {
public:
    // A new reading of the source from its first entry; null when it cannot
    // be read again.
    using Reading = std::function<std::unique_ptr<SummaryEntries>()>;
    static constexpr std::size_t kHeldBytes = std::size_t{16} << 20;

    SortedEntries(Reading reading, const WalkOrder& order, std::size_t heldBytes = kHeldBytes);
    bool next(SummaryEntry& entry) override;
    // Every pass read the source whole.
    bool whole() const override { return whole_; }
    std::size_t passes() const { return passes_; }

private:
    struct Held {
        SummaryEntry entry;
        std::uint64_t index = 0;  // its place in the source, which breaks ties
        std::size_t bytes = 0;    // what holding it takes
    };
    // The order entries are given in: the walk's, and their place in the
    // source for entries it cannot tell apart.
    struct Before {
        WalkOrder order;
        bool operator()(const Held& a, const Held& b) const;
    };
    // What one pass holds: the first entries in the order after the last
    // one given that fit in its bytes, in a heap with the last in the order
    // on top; and the first entry left for a later pass (none after it may
    // be held in this one, though room is made, or the pass would skip it).
    class Pass {
    public:
        Pass(const Before& before, std::size_t bytes, std::vector<Held>& heap)
            : before_(before), bound_(bytes), heap_(heap) {}
        // Takes `next` into the heap, leaving the largest for a later pass
        // where the bytes would go over.
        void hold(Held&& next);
        // Whether `next` waits for a later pass, as the entry left does.
        bool later(const Held& next) const { return left_ && !before_(next, *left_); }
        // Whether any entry was left for a later pass.
        bool leftAny() const { return left_.has_value(); }

    private:
        void leave(Held&& entry);

        const Before& before_;
        std::size_t bound_;
        std::vector<Held>& heap_;
        std::size_t bytes_ = 0;
        std::optional<Held> left_;
    };
    // Reads the source once more for the next entries: false when none is left.
    bool pass();

    Reading reading_;
    Before before_;
    std::size_t heldBytes_;
    std::vector<Held> held_;    // the pass's entries, sorted, the first to give last
    std::optional<Held> last_;  // the last one given (its name, for the order)
    bool more_ = true;          // the last pass left entries for another
    bool whole_ = true;
    std::size_t passes_ = 0;
};
