// The making of the disk windows: the next files of the line claimed,
// opened and asked of the disk in the order of their places on it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

#include "task_file.h"

// What the hashing threads share of the windows, under `mutex`.
struct WindowShared {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<OpenedTask> ready;  // opened, in reading order
    bool forming = false;
    bool ended = false;
    bool largeReading = false;
    bool pendingLeft = false;  // the maker holds claimed tasks (read under the lock by any thread)
};

// What the lanes have found of the tree's bytes in memory, told and read
// without the lock.
struct FoundInMemory {
    std::atomic<bool> cold{true};       // the last window's files were not all in memory
    std::atomic<bool> missed{false};    // a lane found bytes missing since the last window was made
    std::atomic<std::size_t> found{0};  // files whose first bytes were in memory, since then
};

class WindowMaker {
public:
    WindowMaker(DescriptorBudget& files, WindowShared& shared, FoundInMemory& memory)
        : files_(files), shared_(shared), memory_(memory) {}

    // Claims, opens and orders the next window; called by one thread at a
    // time, without the lock. `early`: the current window still has files,
    // so only a window of some size is worth making, and no descriptor is
    // waited for. False when nothing was done.
    bool Form(TaskSource& source, bool idle, bool early);

private:
    // Notes whether pending_ holds tasks, and returns `formed`.
    bool Settle(bool formed);

    DescriptorBudget& files_;
    WindowShared& shared_;
    FoundInMemory& memory_;
    std::deque<TaskSource::Claimed> pending_;  // claimed for the next window (the forming thread's alone)
};
