#include "hashing_thread.h"

#include <deque>
#include <memory>
#include <vector>

#include "md5_lanes.h"

using namespace TesselLibrary;

namespace {

// What a lane reads of its file at a time: large enough that the lanes run
// near their full rate, small enough that 16 of them stay within 2 MiB.
constexpr std::size_t kLanePiece = std::size_t{128} << 10;
// A file this large with nothing beside it to share the lanes goes faster
// as one stream, read ahead by a second thread.
constexpr std::uint64_t kAloneFrom = std::uint64_t{16} << 20;

ReadOutcome OpenOnce(const FilePlace& place, SequentialFile& file) {
    if (place.reach == FilePlace::Reach::NotFound) return ReadOutcome::NotFound;
    if (place.reach == FilePlace::Reach::Unreadable) return ReadOutcome::Unreadable;
    return place.folder ? file.Open(*place.folder, place.name) : file.Open(place.name);
}

// The task's file, or the first of the others found when it is not there.
// `outOfDescriptors`: the open that decided failed for want of descriptors.
ReadOutcome OpenFirstFound(const DigestTask& task, SequentialFile& file, std::optional<std::size_t>& other,
                           bool& outOfDescriptors) {
    other.reset();
    ReadOutcome first = OpenOnce(task.file, file);
    outOfDescriptors = first != ReadOutcome::Complete && file.outOfDescriptors();
    if (first != ReadOutcome::NotFound) return first;
    for (std::size_t k = 0; k < task.others.size(); ++k) {
        const ReadOutcome opened = OpenOnce(task.others[k], file);
        if (opened == ReadOutcome::NotFound) continue;
        outOfDescriptors = opened != ReadOutcome::Complete && file.outOfDescriptors();
        other = k;
        return opened;
    }
    return first;
}

DigestDone Failed(ReadOutcome outcome, std::optional<std::size_t> other) {
    DigestDone done;
    done.digest.result = outcome == ReadOutcome::NotFound ? DigestResult::NotFound : DigestResult::Unreadable;
    done.other = other;
    return done;
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
                done.digest = digester.digest(file);
            } else {
                done = Failed(opened, done.other);
            }
        }
        source.Complete(claimed->index, std::move(done));
    }
}

// Up to width() files at once, each in a lane of its own, fed piece by piece
// from a buffer of its own.
class LaneHasher {
public:
    LaneHasher(TaskSource& source, DescriptorBudget& files, Md5Engine engine)
        : source_(source), files_(files), lanes_(engine), slots_(lanes_.width()) {
        // One block for all lanes, each lane's buffer on a cache line of its
        // own kind: page-aligned for the system's copy into it, and shifted
        // by a line per lane, so that the lanes' bytes at one offset do not
        // all fall into the same cache set when they are read side by side.
        const std::size_t stride = kLanePiece + 4096 + 64;
        buffers_ = std::make_unique<std::uint8_t[]>(stride * slots_.size() + 4096);
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
        const DigestTask* task = nullptr;
        SequentialFile file;
        DescriptorToken token;
        std::uint8_t* buffer = nullptr;  // in buffers_
        std::uint64_t left = 0;   // bytes still to read, of the size at the open
        bool toEnd = false;       // a size of 0 at the open: read until the end
        bool failed = false;      // a read failed: the digest is thrown away
        std::optional<std::size_t> other;
        std::uint64_t hashed = 0;
    };

    // Starts the next tasks in idle lanes, without waiting while others work.
    void FillIdleLanes() {
        while (busy_ < slots_.size() && TakeTask(false)) {
        }
    }

    // Opens the file of the next task (one claimed before, or a new one)
    // into an idle lane. False when there was none to take, or no
    // descriptor for it yet.
    bool TakeTask(bool wait) {
        if (!files_.TryTake()) {
            if (!wait) return false;
            files_.Take();
        }
        DescriptorToken token(files_);
        if (pending_.empty()) {
            std::optional<TaskSource::Claimed> claimed = source_.Claim(wait);
            if (!claimed) return false;
            pending_.push_back(*claimed);
        }
        const TaskSource::Claimed claimed = pending_.front();
        Slot& slot = IdleSlot();
        bool outOfDescriptors = false;
        ReadOutcome opened = OpenFirstFound(*claimed.task, slot.file, slot.other, outOfDescriptors);
        if (outOfDescriptors) {
            // The process's own files (some in these lanes) hold the
            // descriptors: try again once one is closed. With none in the
            // lanes, wait as a lone open does.
            if (busy_ > 0) return false;
            opened = OpenTask(*claimed.task, slot.file, slot.other, files_);
        }
        pending_.pop_front();
        if (opened != ReadOutcome::Complete) {
            source_.Complete(claimed.index, Failed(opened, slot.other));
            return true;
        }
        if (busy_ == 0 && slot.file.size() >= kAloneFrom && !AnotherTaskIsWaiting()) {
            source_.Complete(claimed.index, Alone(slot));
            return true;
        }
        slot.index = claimed.index;
        slot.task = claimed.task;
        slot.token = std::move(token);
        slot.left = slot.file.size();
        slot.toEnd = slot.left == 0;
        slot.failed = false;
        slot.hashed = 0;
        if (slot.left > kLanePiece) slot.file.AdviseSequential();
        lanes_.Start(SlotNumber(slot));
        ++busy_;
        return true;
    }

    // A large file with nothing beside it: one stream, read ahead.
    DigestDone Alone(Slot& slot) {
        DigestDone done;
        done.other = slot.other;
        done.digest = digester_.digest(slot.file);
        slot.file.Close();
        return done;
    }

    bool AnotherTaskIsWaiting() {
        if (pending_.size() > 1) return true;
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

    void FeedLanes() {
        for (Slot& slot : slots_) {
            const unsigned lane = SlotNumber(slot);
            if (!slot.index || !lanes_.NeedsInput(lane)) continue;
            if (slot.failed || (!slot.toEnd && slot.left == 0)) {
                lanes_.End(lane);
                continue;
            }
            const std::size_t asked = slot.toEnd || slot.left > kLanePiece ? kLanePiece : static_cast<std::size_t>(slot.left);
            std::size_t got = 0;
            // Exactly the bytes the file had when it was opened: one that
            // ends sooner was cut short meanwhile and fails.
            if (!slot.file.Read(slot.buffer, asked, &got) || (!slot.toEnd && got != asked)) {
                slot.failed = true;
                lanes_.End(lane);
                continue;
            }
            if (got > 0) lanes_.Feed(lane, slot.buffer, got);
            slot.hashed += got;
            if (slot.toEnd) {
                if (got < asked) lanes_.End(lane);
            } else {
                slot.left -= got;
                if (slot.left == 0) lanes_.End(lane);
            }
        }
    }

    void CollectFinished() {
        for (Slot& slot : slots_) {
            std::uint8_t value[16];
            if (!slot.index || !lanes_.Finished(SlotNumber(slot), value)) continue;
            DigestDone done;
            done.other = slot.other;
            if (slot.failed) {
                done.digest.result = DigestResult::Unreadable;
            } else {
                done.digest.result = DigestResult::Computed;
                done.digest.bytes = slot.hashed;
                done.digest.modified = slot.file.modified();
                DigestDigits(value, done.digest.digits);
            }
            finished_.emplace_back(*slot.index, std::move(done));
            slot.index.reset();
            slot.task = nullptr;
            slot.file.Close();
            slot.token = DescriptorToken();
            --busy_;
        }
        if (!finished_.empty()) source_.Complete(finished_);
    }

    TaskSource& source_;
    DescriptorBudget& files_;
    Md5Lanes lanes_;
    std::unique_ptr<std::uint8_t[]> buffers_;
    std::vector<Slot> slots_;
    std::size_t busy_ = 0;
    std::deque<TaskSource::Claimed> pending_;  // claimed, their files not opened yet
    std::vector<std::pair<std::size_t, DigestDone>> finished_;
    FileDigester digester_;
};

}  // namespace

ReadOutcome OpenTask(const DigestTask& task, SequentialFile& file, std::optional<std::size_t>& other,
                     DescriptorBudget& files) {
    // This file's own token is one of those out.
    DescriptorWait wait(files);
    for (;;) {
        bool outOfDescriptors = false;
        const ReadOutcome opened = OpenFirstFound(task, file, other, outOfDescriptors);
        if (!outOfDescriptors || !wait.Again()) return opened;
    }
}

void HashTasks(TaskSource& source, DescriptorBudget& files) {
    const Md5Engine engine = ChosenMd5Engine();
    if (engine == Md5Engine::OneStream) return HashOneByOne(source, files);
    LaneHasher(source, files, engine).Run();
}
