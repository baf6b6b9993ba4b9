#include "hashing_thread.h"

#include <deque>
#include <memory>
#include <optional>
#include <vector>

#include "disk_window.h"
#include "environment.h"
#include "large_file.h"
#include "md5_lanes.h"
#include "text.h"

using namespace TesselLibrary;

namespace {

// What a lane reads of its file at a time: large enough that the lanes run
// near their full rate, small enough that 16 of them stay within 2 MiB.
constexpr std::size_t kLanePiece = std::size_t{128} << 10;
// A file whose bytes are not in memory yet is asked of the device this far
// ahead at once, so that the device has the reads of every lane in hand.
constexpr std::uint64_t kPrefetchMost = std::uint64_t{8} << 20;

// What a hashing thread says of a file as it reads it: large files only,
// whose reading takes long enough to be watched.
FileDigester::Reading ReadingOf(TaskSource& source, std::size_t index, std::uint64_t size) {
    if (!IsLargeFile(size)) return {};
    return [&source, index, size](std::uint64_t done) { source.Reading(index, done, size); };
}

// One stream at a time: the system's hash object per file.
void HashOneByOne(TaskSource& source, DescriptorBudget& files) {
    FileDigester digester;
    while (const std::optional<TaskSource::Claimed> claimed = source.Claim(true)) {
        DigestDone done;
        {
            files.Take();
            const DescriptorToken token(files);  // given back after the file below is closed
            SequentialFile file;
            const ReadOutcome opened = OpenTask(*claimed->task, file, done.other, files);
            if (opened == ReadOutcome::Complete) {
                done.digest = digester.digest(file, ReadingOf(source, claimed->index, file.size()));
            } else {
                done = Failed(opened, done.other);
            }
        }
        source.Complete(claimed->index, std::move(done));
    }
}

// One lane's file, and how far it has been read.
struct LaneSlot {
    std::optional<std::size_t> index;  // the task in the lane
    SequentialFile file;
    DescriptorToken token;
    std::uint8_t* buffer = nullptr;  // in the lanes' block
    std::uint64_t left = 0;          // bytes still to read, of the size at the open
    bool toEnd = false;              // a size of 0 at the open: read until the end
    bool failed = false;             // a read failed: the digest is thrown away
    bool waiting = false;            // its next bytes are on their way from the device
    std::uint64_t waitingSince = 0;  // the round it began to wait
    std::optional<std::size_t> other;
    std::uint64_t hashed = 0;
};

// What a lane asks of its file at a time.
std::size_t Asked(const LaneSlot& slot) {
    return slot.toEnd || slot.left > kLanePiece ? kLanePiece : static_cast<std::size_t>(slot.left);
}

// A thread's one stream, for a large file with nothing beside it and for a
// file written while its lane read it. Made for the first of them: its
// buffers and the system's hash object cost a run of small files time for
// nothing.
class OneStream {
public:
    explicit OneStream(TaskSource& source) : source_(source) {}

    // A large file with nothing beside it: one stream, read ahead.
    DigestDone Alone(OpenedTask& task) {
        DigestDone done;
        done.other = task.other;
        done.digest = Digester().digest(task.file, ReadingOf(source_, task.claimed.index, task.file.size()));
        task.file.Close();
        return done;
    }

    // A file read again from its start, alone, as it is now.
    FileDigest Again(SequentialFile& file) { return Digester().digest(file, {}, kMostRereads - 1); }

private:
    FileDigester& Digester() {
        if (!digester_) digester_.emplace();
        return *digester_;
    }

    TaskSource& source_;
    std::optional<FileDigester> digester_;
};

// The lanes of a thread and the file each holds.
struct LaneSlots {
    explicit LaneSlots(Md5Engine engine) : lanes(engine), slots(lanes.width()) {
        // One block for all lanes, each lane's buffer on a cache line of its
        // own kind: page-aligned for the system's copy into it, and shifted
        // by a line per lane, so that the lanes' bytes at one offset do not
        // all fall into the same cache set when they are read side by side.
        const std::size_t stride = kLanePiece + 4096 + 64;
        buffers = std::make_unique_for_overwrite<std::uint8_t[]>(stride * slots.size() + 4096);
        auto* base = reinterpret_cast<std::uint8_t*>((reinterpret_cast<std::uintptr_t>(buffers.get()) + 4095) &
                                                     ~std::uintptr_t{4095});
        for (std::size_t lane = 0; lane < slots.size(); ++lane) slots[lane].buffer = base + lane * stride;
    }

    // Puts the opened file of `next` into an idle lane.
    void Start(OpenedTask next) {
        LaneSlot& slot = IdleSlot();
        slot.index = next.claimed.index;
        slot.file = std::move(next.file);
        slot.token = std::move(next.token);
        slot.other = next.other;
        slot.left = slot.file.size();
        slot.toEnd = slot.left == 0;
        slot.failed = false;
        slot.waiting = false;
        slot.hashed = 0;
        if (slot.left > kLanePiece) slot.file.AdviseSequential();
        lanes.Start(Number(slot));
        ++busy;
    }

    // Adds the tasks of the lanes that finished to `finished`, and frees
    // their lanes.
    void Collect(OneStream& stream, std::vector<std::pair<std::size_t, DigestDone>>& finished) {
        for (LaneSlot& slot : slots) {
            std::uint8_t value[16];
            if (!slot.index || !lanes.Finished(Number(slot), value)) continue;
            DigestDone done;
            done.other = slot.other;
            done.digest.size = slot.file.size();
            done.digest.modified = slot.file.modified();
            if (!slot.failed) {
                done.digest.result = DigestResult::Computed;
                done.digest.bytes = slot.hashed;
                DigestDigits(value, done.digest.digits);
            }
            // Written while the lane read it: read again, alone, as it is now.
            bool changed = false;
            if (slot.file.LookAgain(&changed) && changed && slot.file.Rewind()) done.digest = stream.Again(slot.file);
            finished.emplace_back(*slot.index, std::move(done));
            slot.index.reset();
            slot.file.Close();
            slot.token = DescriptorToken();
            --busy;
        }
    }

    unsigned Number(const LaneSlot& slot) const { return static_cast<unsigned>(&slot - slots.data()); }

    LaneSlot& IdleSlot() {
        for (LaneSlot& slot : slots) {
            if (!slot.index) return slot;
        }
        return slots.front();  // not reached: called only with an idle lane
    }

    Md5Lanes lanes;
    std::unique_ptr<std::uint8_t[]> buffers;
    std::vector<LaneSlot> slots;
    std::size_t busy = 0;
};

// Gives the lanes the bytes of their files.
class LaneFeeder {
public:
    LaneFeeder(LaneSlots& lanes, DiskWindow* window) : lanes_(lanes), window_(window) {}

    // Gives every lane that needs bytes what the system holds of its file.
    // The lanes cost as much to run with one of them fed as with all: while
    // fewer than half of them have bytes and others wait for the device,
    // the thread waits for the read asked first, then looks again.
    void FeedLanes() {
        for (;;) {
            std::size_t atHand = 0;      // lanes with bytes to hash, or an end to reach
            LaneSlot* oldest = nullptr;  // of the lanes waiting for the device
            for (LaneSlot& slot : lanes_.slots) {
                if (!slot.index) continue;
                if (Feed(slot)) {
                    ++atHand;
                } else if (!oldest || slot.waitingSince < oldest->waitingSince) {
                    oldest = &slot;
                }
            }
            ++round_;
            if (!oldest || 2 * atHand >= lanes_.busy) return;
            // Wait for the one that asked first.
            const std::size_t asked = Asked(*oldest);
            std::size_t got = 0;
            oldest->waiting = false;
            if (!oldest->file.Read(oldest->buffer, asked, &got)) {
                oldest->failed = true;
                lanes_.lanes.End(lanes_.Number(*oldest));
                continue;
            }
            Absorb(*oldest, got, got < asked);
        }
    }

private:
    // Feeds the lane of `slot` from what the system holds of its file, when
    // it needs bytes; false when its bytes are on their way from the device.
    bool Feed(LaneSlot& slot) {
        const unsigned lane = lanes_.Number(slot);
        if (!lanes_.lanes.NeedsInput(lane)) return true;
        if (slot.failed || (!slot.toEnd && slot.left == 0)) {
            lanes_.lanes.End(lane);
            return true;
        }
        std::size_t got = 0;
        bool later = false;
        if (!slot.file.ReadAtHand(slot.buffer, Asked(slot), &got, &later)) {
            slot.failed = true;
            lanes_.lanes.End(lane);
            return true;
        }
        if (later) {
            if (!slot.waiting) {
                slot.waiting = true;
                slot.waitingSince = round_;
                if (window_) window_->Missed();
                if (!slot.toEnd) slot.file.Prefetch(slot.hashed, std::min(slot.left, kPrefetchMost));
            }
            return false;
        }
        slot.waiting = false;
        if (window_ && slot.hashed == 0) window_->FoundAtHand();
        Absorb(slot, got, got == 0);
        return true;
    }

    // Hands `got` bytes just read into the lane's buffer to the lane. `end`:
    // the read met the end of the file.
    void Absorb(LaneSlot& slot, std::size_t got, bool end) {
        const unsigned lane = lanes_.Number(slot);
        // Exactly the bytes the file had when it was opened: one that ends
        // sooner was cut short meanwhile and fails.
        if (end && !slot.toEnd && got < slot.left) {
            slot.failed = true;
            lanes_.lanes.End(lane);
            return;
        }
        if (got > 0) lanes_.lanes.Feed(lane, slot.buffer, got);
        slot.hashed += got;
        if (slot.toEnd) {
            if (end) lanes_.lanes.End(lane);
            return;
        }
        slot.left -= got;
        if (slot.left == 0) lanes_.lanes.End(lane);
    }

    LaneSlots& lanes_;
    DiskWindow* const window_;
    std::uint64_t round_ = 0;
};

// Tasks claimed from the line, their files not opened yet.
struct ClaimedAhead {
    // Whether a task waits besides those in the lanes: one claimed already,
    // or the line's next, claimed to see.
    bool AnotherWaiting(TaskSource& source) {
        if (!tasks.empty()) return true;
        std::optional<TaskSource::Claimed> next = source.Claim(false);
        if (!next) return false;
        tasks.push_back(*next);
        return true;
    }

    std::deque<TaskSource::Claimed> tasks;
};

// Up to width() files at once, each in a lane of its own, fed piece by piece
// from a buffer of its own. A lane whose bytes the system does not hold yet
// is passed over while the device brings them in, so that every lane's
// read is in flight at once; the thread waits for the device only when no
// lane has anything to hash.
class LaneHasher {
public:
    LaneHasher(TaskSource& source, const HashingPlan& plan, Md5Engine engine)
        : source_(source),
          files_(plan.files()),
          window_(plan.window()),
          lanes_(engine),
          feeder_(lanes_, window_),
          stream_(source) {}

    void Run() {
        for (;;) {
            // Starts the next tasks in idle lanes, without waiting while
            // others work.
            while (lanes_.busy < lanes_.slots.size() && TakeTask(false)) {}
            if (lanes_.busy == 0 && pending_.tasks.empty()) {
                // Nothing in hand: wait for a task, or end with the line.
                if (!TakeTask(true)) return;
                continue;
            }
            feeder_.FeedLanes();
            lanes_.lanes.Run();
            lanes_.Collect(stream_, finished_);
            if (!finished_.empty()) source_.Complete(finished_);
        }
    }

private:
    // Opens the file of the next task (one claimed before, or a new one)
    // into an idle lane, or settles a task that needs no lane. False when
    // there was none to take, or no descriptor for it yet. `wait`: the lanes
    // are empty; waits for a task, false only at the end of the line.
    bool TakeTask(bool wait) {
        std::deque<TaskSource::Claimed>& pending = pending_.tasks;
        if (window_ && pending.empty() && window_->inUse()) return TakeFromWindow(wait);
        if (pending.empty() && wait) {
            std::optional<TaskSource::Claimed> claimed = source_.Claim(true);
            if (!claimed) return window_ && window_->inUse() ? TakeFromWindow(true) : false;
            pending.push_back(*claimed);
        } else if (pending.empty() && source_.Claim(lanes_.slots.size() - lanes_.busy, pending) == 0) {
            return false;  // the idle lanes' worth at once, for one hold of the line's lock
        }
        OpenedTask next;
        const Opening opening = OpenClaimed(source_, files_, pending.front(), lanes_.busy > 0, next);
        if (opening == Opening::NoDescriptor) return false;
        pending.pop_front();
        if (opening == Opening::Settled) return true;
        // A large file with nothing beside it to share the lanes goes
        // faster as one stream.
        if (lanes_.busy == 0 && IsLargeFile(next.file.size()) && !pending_.AnotherWaiting(source_)) {
            source_.Complete(next.claimed.index, stream_.Alone(next));
            return true;
        }
        lanes_.Start(std::move(next));
        return true;
    }

    // The next file in the order of the disk.
    bool TakeFromWindow(bool wait) {
        for (;;) {
            OpenedTask next;
            switch (window_->Next(source_, lanes_.busy == 0, next)) {
                case DiskWindow::Take::End: return false;
                case DiskWindow::Take::Nothing:
                    if (wait) continue;
                    return false;
                case DiskWindow::Take::Settled: return true;
                case DiskWindow::Take::File: break;
            }
            if (IsLargeFile(next.file.size())) {
                source_.Complete(next.claimed.index, stream_.Alone(next));
                window_->LargeDone();
            } else {
                lanes_.Start(std::move(next));
            }
            return true;
        }
    }

    TaskSource& source_;
    DescriptorBudget& files_;
    DiskWindow* const window_;
    LaneSlots lanes_;
    LaneFeeder feeder_;
    OneStream stream_;
    ClaimedAhead pending_;
    std::vector<std::pair<std::size_t, DigestDone>> finished_;
};

}  // namespace

HashingPlan::HashingPlan(DescriptorBudget& files, const Folder* root) : files_(files) {
    const std::u16string asked = EnvironmentValue(u"SUMVANE_DISK_ORDER");
    if (asked == u"1" || (asked != u"0" && root && OnRotatingDisk(*root)))
        window_ = std::make_unique<DiskWindow>(files);
}

HashingPlan::HashingPlan(DescriptorBudget& files, bool diskOrder) : files_(files) {
    if (diskOrder) window_ = std::make_unique<DiskWindow>(files);
}

HashingPlan::~HashingPlan() = default;

void HashTasks(TaskSource& source, const HashingPlan& plan) {
    const Md5Engine engine = ChosenMd5Engine();
    if (engine == Md5Engine::OneStream) return HashOneByOne(source, plan.files());
    LaneHasher(source, plan, engine).Run();
}

void HashTasks(TaskSource& source, DescriptorBudget& files) { HashTasks(source, HashingPlan(files, false)); }
