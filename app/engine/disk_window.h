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
#include <cstdint>

#include "task_file.h"
#include "window_maker.h"

class DiskWindow {
public:
    // Files of a window at most, and bytes asked of the disk for one.
    static constexpr std::size_t kFiles = 128;  // half the line's ring of one thread
    static constexpr std::uint64_t kBytes = std::uint64_t{64} << 20;

    explicit DiskWindow(DescriptorBudget& files) : maker_(files, shared_, memory_) {}
    DiskWindow(const DiskWindow&) = delete;
    DiskWindow& operator=(const DiskWindow&) = delete;

    // Whether the threads take their files from the windows now (the tree
    // is read from the disk), rather than from the line.
    bool inUse() const {
        return memory_.cold.load(std::memory_order_relaxed) || waiting_.load(std::memory_order_relaxed);
    }

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
        memory_.missed.store(true, std::memory_order_relaxed);
        memory_.cold.store(true, std::memory_order_relaxed);
    }
    // A lane found the first bytes of its file in memory.
    void FoundAtHand() { memory_.found.fetch_add(1, std::memory_order_relaxed); }

private:
    WindowShared shared_;
    FoundInMemory memory_;
    std::atomic<bool> waiting_{false};  // files are in the ready window (or the maker's claimed ones)
    WindowMaker maker_;
};
