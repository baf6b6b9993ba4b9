#include "window_maker.h"

#include <vector>

#include "disk_window.h"
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

bool WindowMaker::Form(TaskSource& source, bool idle, bool early) {
    // The files of the last window were all in memory: the next are likely
    // too, and the threads take them from the line themselves. Only files
    // read say so: a first window made while the listing had found a file
    // or two is next to empty, and none of its files has been read yet.
    const bool missed = memory_.missed.load(std::memory_order_relaxed);
    const std::size_t found = memory_.found.load(std::memory_order_relaxed);
    if (early && !missed && found >= DiskWindow::kFiles / 4) {
        memory_.cold = false;
        return Settle(false);
    }
    memory_.cold = true;
    if (pending_.empty() && idle && !early) {
        if (std::optional<TaskSource::Claimed> claimed = source.Claim(true)) {
            pending_.push_back(*claimed);
        } else {
            std::lock_guard<std::mutex> lock(shared_.mutex);
            shared_.ended = true;
            shared_.pendingLeft = false;
            return false;
        }
    }
    while (pending_.size() < DiskWindow::kFiles) {
        std::optional<TaskSource::Claimed> claimed = source.Claim(false);
        if (!claimed) break;
        pending_.push_back(*claimed);
    }
    if (early && pending_.size() < DiskWindow::kFiles / 2) return Settle(false);

    // Early, the files of the current window come back first; else the
    // lanes of the caller, or this window's files.
    OpenedWindow window = OpenWindow(source, files_, pending_, early || !idle);
    const bool settled = window.settled;
    std::vector<OpenedTask> ordered = InDiskOrder(window.files);
    if (!ordered.empty()) {
        // What the lanes find from here on is told of this window.
        memory_.missed.store(false, std::memory_order_relaxed);
        memory_.found.store(0, std::memory_order_relaxed);
    }
    std::lock_guard<std::mutex> lock(shared_.mutex);
    for (OpenedTask& task : ordered) shared_.ready.push_back(std::move(task));
    shared_.pendingLeft = !pending_.empty();
    return settled || !ordered.empty();
}

bool WindowMaker::Settle(bool formed) {
    std::lock_guard<std::mutex> lock(shared_.mutex);
    shared_.pendingLeft = !pending_.empty();
    return formed;
}
