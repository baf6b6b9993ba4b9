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

// Up to width() files at once, each in a lane of its own, fed piece by piece
// from a buffer of its own. A lane whose bytes the system does not hold yet
// is passed over while the device brings them in, so that every lane's
// read is in flight at once; the thread waits for the device only when no
// lane has anything to hash.
class LaneHasher {
public:
    LaneHasher(TaskSource& source, const HashingPlan& plan, Md5Engine engine)
        : source_(source), files_(plan.files()), window_(plan.window()), lanes_(engine), slots_(lanes_.width()) {
        // One block for all lanes, each lane's buffer on a cache line of its
        // own kind: page-aligned for the system's copy into it, and shifted
        // by a line per lane, so that the lanes' bytes at one offset do not
        // all fall into the same cache set when they are read side by side.
        const std::size_t stride = kLanePiece + 4096 + 64;
        buffers_ = std::make_unique_for_overwrite<std::uint8_t[]>(stride * slots_.size() + 4096);
        auto* base = reinterpret_cast<std::uint8_t*>((reinterpret_cast<std::uintptr_t>(buffers_.get()) + 4095) &
                                                     ~std::uintptr_t{4095});
        for (std::size_t lane = 0; lane < slots_.size(); ++lane) slots_[lane].buffer = base + lane * stride;
    }

    void Run() {
        for (;;) {
            FillIdleLanes();
            if (busy_ == 0 && pending_.empty()) {
                // Nothing in hand: wait for a task, or end with the line.
                if (!TakeTask(true)) return;
                continue;
            }
            FeedLanes();
            lanes_.Run();
            CollectFinished();
        }
    }

private:
    struct Slot {
        std::optional<std::size_t> index;  // the task in the lane
        SequentialFile file;
        DescriptorToken token;
        std::uint8_t* buffer = nullptr;  // in buffers_
        std::uint64_t left = 0;   // bytes still to read, of the size at the open
        bool toEnd = false;       // a size of 0 at the open: read until the end
        bool failed = false;      // a read failed: the digest is thrown away
        bool waiting = false;     // its next bytes are on their way from the device
        std::uint64_t waitingSince = 0;  // the round it began to wait
        std::optional<std::size_t> other;
        std::uint64_t hashed = 0;
    };

    // Starts the next tasks in idle lanes, without waiting while others work.
    void FillIdleLanes() {
        while (busy_ < slots_.size() && TakeTask(false)) {
        }
    }

    // Opens the file of the next task (one claimed before, or a new one)
    // into an idle lane, or settles a task that needs no lane. False when
    // there was none to take, or no descriptor for it yet. `wait`: the lanes
    // are empty; waits for a task, false only at the end of the line.
    bool TakeTask(bool wait) {
        if (window_ && pending_.empty() && window_->inUse()) return TakeFromWindow(wait);
        if (pending_.empty() && wait) {
            std::optional<TaskSource::Claimed> claimed = source_.Claim(true);
            if (!claimed) return window_ && window_->inUse() ? TakeFromWindow(true) : false;
            pending_.push_back(*claimed);
        } else if (pending_.empty() && source_.Claim(slots_.size() - busy_, pending_) == 0) {
            return false;  // the idle lanes' worth at once, for one hold of the line's lock
        }
        OpenedTask next;
        const Opening opening = OpenClaimed(source_, files_, pending_.front(), busy_ > 0, next);
        if (opening == Opening::NoDescriptor) return false;
        pending_.pop_front();
        if (opening == Opening::Settled) return true;
        // A large file with nothing beside it to share the lanes goes
        // faster as one stream.
        if (busy_ == 0 && IsLargeFile(next.file.size()) && !AnotherTaskIsWaiting()) {
            source_.Complete(next.claimed.index, Alone(next));
            return true;
        }
        StartLane(std::move(next));
        return true;
    }

    // The next file in the order of the disk.
    bool TakeFromWindow(bool wait) {
        for (;;) {
            OpenedTask next;
            switch (window_->Next(source_, busy_ == 0, next)) {
                case DiskWindow::Take::End: return false;
                case DiskWindow::Take::Nothing:
                    if (wait) continue;
                    return false;
                case DiskWindow::Take::Settled: return true;
                case DiskWindow::Take::File: break;
            }
            if (IsLargeFile(next.file.size())) {
                source_.Complete(next.claimed.index, Alone(next));
                window_->LargeDone();
            } else {
                StartLane(std::move(next));
            }
            return true;
        }
    }

    void StartLane(OpenedTask next) {
        Slot& slot = IdleSlot();
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
        lanes_.Start(SlotNumber(slot));
        ++busy_;
    }

    // A large file with nothing beside it: one stream, read ahead.
    DigestDone Alone(OpenedTask& task) {
        DigestDone done;
        done.other = task.other;
        if (!digester_) digester_.emplace();
        done.digest = digester_->digest(task.file, ReadingOf(source_, task.claimed.index, task.file.size()));
        task.file.Close();
        return done;
    }

    bool AnotherTaskIsWaiting() {
        if (!pending_.empty()) return true;
        std::optional<TaskSource::Claimed> next = source_.Claim(false);
        if (!next) return false;
        pending_.push_back(*next);
        return true;
    }

    Slot& IdleSlot() {
        for (Slot& slot : slots_) {
            if (!slot.index) return slot;
        }
        return slots_.front();  // not reached: called only with an idle lane
    }

    unsigned SlotNumber(const Slot& slot) const { return static_cast<unsigned>(&slot - slots_.data()); }

    std::size_t Asked(const Slot& slot) const {
        return slot.toEnd || slot.left > kLanePiece ? kLanePiece : static_cast<std::size_t>(slot.left);
    }

    // Hands `got` bytes just read into the lane's buffer to the lane. `end`:
    // the read met the end of the file.
    void Absorb(Slot& slot, std::size_t got, bool end) {
        const unsigned lane = SlotNumber(slot);
        // Exactly the bytes the file had when it was opened: one that ends
        // sooner was cut short meanwhile and fails.
        if (end && !slot.toEnd && got < slot.left) {
            slot.failed = true;
            lanes_.End(lane);
            return;
        }
        if (got > 0) lanes_.Feed(lane, slot.buffer, got);
        slot.hashed += got;
        if (slot.toEnd) {
            if (end) lanes_.End(lane);
            return;
        }
        slot.left -= got;
        if (slot.left == 0) lanes_.End(lane);
    }

    // Gives every lane that needs bytes what the system holds of its file.
    // The lanes cost as much to run with one of them fed as with all: while
    // fewer than half of them have bytes and others wait for the device,
    // the thread waits for the read asked first, then looks again.
    void FeedLanes() {
        for (;;) {
            std::size_t atHand = 0;  // lanes with bytes to hash, or an end to reach
            Slot* oldest = nullptr;  // of the lanes waiting for the device
            for (Slot& slot : slots_) {
                if (!slot.index) continue;
                if (Feed(slot)) {
                    ++atHand;
                } else if (!oldest || slot.waitingSince < oldest->waitingSince) {
                    oldest = &slot;
                }
            }
            ++round_;
            if (!oldest || 2 * atHand >= busy_) return;
            // Wait for the one that asked first.
            const std::size_t asked = Asked(*oldest);
            std::size_t got = 0;
            oldest->waiting = false;
            if (!oldest->file.Read(oldest->buffer, asked, &got)) {
                oldest->failed = true;
                lanes_.End(SlotNumber(*oldest));
                continue;
            }
            Absorb(*oldest, got, got < asked);
        }
    }

    // Feeds the lane of `slot` from what the system holds of its file, when
    // it needs bytes; false when its bytes are on their way from the device.
    bool Feed(Slot& slot) {
        const unsigned lane = SlotNumber(slot);
        if (!lanes_.NeedsInput(lane)) return true;
        if (slot.failed || (!slot.toEnd && slot.left == 0)) {
            lanes_.End(lane);
            return true;
        }
        std::size_t got = 0;
        bool later = false;
        if (!slot.file.ReadAtHand(slot.buffer, Asked(slot), &got, &later)) {
            slot.failed = true;
            lanes_.End(lane);
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

    void CollectFinished() {
        for (Slot& slot : slots_) {
            std::uint8_t value[16];
            if (!slot.index || !lanes_.Finished(SlotNumber(slot), value)) continue;
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
            if (slot.file.LookAgain(&changed) && changed && slot.file.Rewind()) {
                if (!digester_) digester_.emplace();
                done.digest = digester_->digest(slot.file, {}, kMostRereads - 1);
            }
            finished_.emplace_back(*slot.index, std::move(done));
            slot.index.reset();
            slot.file.Close();
            slot.token = DescriptorToken();
            --busy_;
        }
        if (!finished_.empty()) source_.Complete(finished_);
    }

    TaskSource& source_;
    DescriptorBudget& files_;
    DiskWindow* const window_;
    Md5Lanes lanes_;
    std::unique_ptr<std::uint8_t[]> buffers_;
    std::vector<Slot> slots_;
    std::size_t busy_ = 0;
    std::uint64_t round_ = 0;
    std::deque<TaskSource::Claimed> pending_;  // claimed, their files not opened yet
    std::vector<std::pair<std::size_t, DigestDone>> finished_;
    // Made for the first large file alone: its buffers and the system's
    // hash object cost a run of small files time for nothing.
    std::optional<FileDigester> digester_;
};

}  // namespace

HashingPlan::HashingPlan(DescriptorBudget& files, const Folder* root) : files_(files) {
    const std::u16string asked = EnvironmentValue(u"SUMVANE_DISK_ORDER");
    if (asked == u"1" || (asked != u"0" && root && OnRotatingDisk(*root))) window_ = std::make_unique<DiskWindow>(files);
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
