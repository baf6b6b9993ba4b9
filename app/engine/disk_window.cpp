#include "disk_window.h"

#include <vector>

#include "large_file.h"
#include "read_order.h"

using namespace TesselLibrary;

namespace {

// A window's files opened, and whether some claimed were found unopenable
// and handed back instead.
struct OpenedWindow {
    std::vector<OpenedTask> files;
    bool settled = false;
};

// Opens the claimed tasks at the front of `pending` into a window of at
// most kFiles files and kBytes, stopping where no descriptor is free.
// `holdsOthers`: the caller's lanes (or an earlier window) hold files, so
// an open need not wait for a descriptor with none of its own out.
OpenedWindow OpenWindow(TaskSource& source, DescriptorBudget& files, std::deque<TaskSource::Claimed>& pending,
                        bool holdsOthers) {
    OpenedWindow window;
    std::uint64_t bytes = 0;
    while (!pending.empty() && window.files.size() < DiskWindow::kFiles && bytes < DiskWindow::kBytes) {
        OpenedTask opened;
        const Opening opening =
            OpenClaimed(source, files, pending.front(), holdsOthers || !window.files.empty(), opened);
        if (opening == Opening::NoDescriptor) break;
        pending.pop_front();
        if (opening == Opening::Settled) {
            window.settled = true;
            continue;
        }
        bytes += opened.file.size();
        window.files.push_back(std::move(opened));
    }
    return window;
}

// The window's files in the order of their places on the disk, each read
// ahead whole but the larger ones, which are read alone, from start to
// end, with the system's own read-ahead.
std::vector<OpenedTask> InDiskOrder(std::vector<OpenedTask>& window) {
    std::vector<DiskPlace> places;
    places.reserve(window.size());
    for (const OpenedTask& task : window) places.push_back(task.file.Place());
    std::vector<OpenedTask> ordered;
    ordered.reserve(window.size());
    for (const std::size_t k : DiskOrder(places)) {
        OpenedTask& task = window[k];
        if (task.file.size() > 0 && !IsLargeFile(task.file.size())) task.file.Prefetch(0, task.file.size());
        ordered.push_back(std::move(task));
    }
    return ordered;
}

}  // namespace

DiskWindow::Take DiskWindow::Next(TaskSource& source, bool idle, OpenedTask& next) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        if (!ready_.empty()) {
            OpenedTask& front = ready_.front();
            // Large files are read alone, one at a time, so that the head
            // stays in one file while it is read.
            const bool large = IsLargeFile(front.file.size());
            if (large && (!idle || largeReading_)) {
                if (!idle) return Take::Nothing;
                changed_.wait(lock);
                continue;
            }
            next = std::move(front);
            ready_.pop_front();
            if (large) largeReading_ = true;
            // The next window is asked of the disk while this one is hashed.
            if (ready_.size() < kFiles / 4 && !forming_ && !ended_) {
                forming_ = true;
                lock.unlock();
                Form(source, false, true);
                lock.lock();
                forming_ = false;
                changed_.notify_all();
            }
            waiting_ = !ready_.empty() || pendingLeft_;
            return Take::File;
        }
        if (forming_) {
            if (!idle) return Take::Nothing;
            changed_.wait(lock);
            continue;
        }
        if (ended_ && !pendingLeft_) return Take::End;
        forming_ = true;
        lock.unlock();
        const bool formed = Form(source, idle, false);
        lock.lock();
        forming_ = false;
        changed_.notify_all();
        waiting_ = !ready_.empty() || pendingLeft_;
        if (!formed) {
            if (ended_ && !pendingLeft_) return Take::End;
            if (!idle || !cold_) return Take::Nothing;
        }
        if (ready_.empty()) return formed ? Take::Settled : Take::Nothing;
    }
}

void DiskWindow::LargeDone() {
    std::lock_guard<std::mutex> lock(mutex_);
    largeReading_ = false;
    changed_.notify_all();
}

bool DiskWindow::Form(TaskSource& source, bool idle, bool early) {
    // The files of the last window were all in memory: the next are likely
    // too, and the threads take them from the line themselves. Only files
    // read say so: a first window made while the listing had found a file
    // or two is next to empty, and none of its files has been read yet.
    const bool missed = missed_.load(std::memory_order_relaxed);
    const std::size_t found = found_.load(std::memory_order_relaxed);
    if (early && !missed && found >= kFiles / 4) {
        cold_ = false;
        return Settle(false);
    }
    cold_ = true;
    if (pending_.empty() && idle && !early) {
        if (std::optional<TaskSource::Claimed> claimed = source.Claim(true)) {
            pending_.push_back(*claimed);
        } else {
            std::lock_guard<std::mutex> lock(mutex_);
            ended_ = true;
            pendingLeft_ = false;
            return false;
        }
    }
    while (pending_.size() < kFiles) {
        std::optional<TaskSource::Claimed> claimed = source.Claim(false);
        if (!claimed) break;
        pending_.push_back(*claimed);
    }
    if (early && pending_.size() < kFiles / 2) return Settle(false);

    // Early, the files of the current window come back first; else the
    // lanes of the caller, or this window's files.
    OpenedWindow window = OpenWindow(source, files_, pending_, early || !idle);
    const bool settled = window.settled;
    std::vector<OpenedTask> ordered = InDiskOrder(window.files);
    if (!ordered.empty()) {
        // What the lanes find from here on is told of this window.
        missed_.store(false, std::memory_order_relaxed);
        found_.store(0, std::memory_order_relaxed);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    for (OpenedTask& task : ordered) ready_.push_back(std::move(task));
    pendingLeft_ = !pending_.empty();
    return settled || !ordered.empty();
}

bool DiskWindow::Settle(bool formed) {
    std::lock_guard<std::mutex> lock(mutex_);
    pendingLeft_ = !pending_.empty();
    return formed;
}
