// Reading a rotating disk. The hashing threads share one window of the
// line's files at a time: one thread claims the next files, opens them,
// asks where each lies (FIEMAP, or its node number) and asks the disk for
// their bytes in that order, all at once; then every thread's lanes take
// the files in that order and find their bytes in memory. So the disk has
// one reader that sweeps across each window, however many threads hash;
// the summary's order is the line's, not the window's.
//
// A tree whose bytes are in memory already (one read just before) gains
// nothing from the order and would pay a call or two per file for it: once
// a window's files were all found in memory, the threads take their files
// from the line themselves again, until a lane finds its bytes missing.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

#include "task_file.h"

class DiskWindow {
public:
    // Files of a window at most, and bytes asked of the disk for one.
    static constexpr std::size_t kFiles = 128;  // half the line's ring of one thread
    static constexpr std::uint64_t kBytes = std::uint64_t{64} << 20;

    explicit DiskWindow(DescriptorBudget& files) : files_(files) {}
    DiskWindow(const DiskWindow&) = delete;
    DiskWindow& operator=(const DiskWindow&) = delete;

    // Whether the threads take their files from the windows now (the tree
    // is read from the disk), rather than from the line.
    bool inUse() const { return cold_.load(std::memory_order_relaxed) || waiting_.load(std::memory_order_relaxed); }

    enum class Take {
        File,     // `next` is the next file in disk order
        Settled,  // files were found unopenable and handed back; ask again
        Nothing,  // none now: another thread is making the next window, or a large file waits for an idle thread
        End,      // the line has no more tasks
    };
    // `idle`: the caller's lanes are empty: it waits for a file (or the
    // end), and may take a large one.
    Take Next(TaskSource& source, bool idle, OpenedTask& next);
    // After a large file taken from here has been read.
    void LargeDone();
    // A lane found bytes of its file missing from memory: the windows are
    // in use again.
    void Missed() {
        missed_.store(true, std::memory_order_relaxed);
        cold_.store(true, std::memory_order_relaxed);
    }
    // A lane found the first bytes of its file in memory.
    void FoundAtHand() { found_.fetch_add(1, std::memory_order_relaxed); }

private:
    // Claims, opens and orders the next window; called by one thread at a
    // time, without the lock. `early`: the current window still has files,
    // so only a window of some size is worth making, and no descriptor is
    // waited for. False when nothing was done.
    bool Form(TaskSource& source, bool idle, bool early);
    // Notes whether pending_ holds tasks, and returns `formed`.
    bool Settle(bool formed);

    DescriptorBudget& files_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<OpenedTask> ready_;           // opened, in reading order
    std::deque<TaskSource::Claimed> pending_;  // claimed for the next window (the forming thread's alone)
    bool forming_ = false;
    bool ended_ = false;
    bool largeReading_ = false;
    bool pendingLeft_ = false;  // pending_ holds tasks (read under the lock by any thread)
    std::atomic<bool> cold_{true};     // the last window's files were not all in memory
    std::atomic<bool> waiting_{false}; // files are in ready_ (or pending_)
    std::atomic<bool> missed_{false};  // a lane found bytes missing since the last window was made
    std::atomic<std::size_t> found_{0};  // files whose first bytes were in memory, since then
};
