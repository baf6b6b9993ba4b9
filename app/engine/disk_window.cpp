#include "disk_window.h"

#include "large_file.h"

using namespace TesselLibrary;

DiskWindow::Take DiskWindow::Next(TaskSource& source, bool idle, OpenedTask& next) {
    std::unique_lock<std::mutex> lock(shared_.mutex);
    for (;;) {
        if (!shared_.ready.empty()) {
            OpenedTask& front = shared_.ready.front();
            // Large files are read alone, one at a time, so that the head
            // stays in one file while it is read.
            const bool large = IsLargeFile(front.file.size());
            if (large && (!idle || shared_.largeReading)) {
                if (!idle) return Take::Nothing;
                shared_.changed.wait(lock);
                continue;
            }
            next = std::move(front);
            shared_.ready.pop_front();
            if (large) shared_.largeReading = true;
            // The next window is asked of the disk while this one is hashed.
            if (shared_.ready.size() < kFiles / 4 && !shared_.forming && !shared_.ended) {
                shared_.forming = true;
                lock.unlock();
                maker_.Form(source, false, true);
                lock.lock();
                shared_.forming = false;
                shared_.changed.notify_all();
            }
            waiting_ = !shared_.ready.empty() || shared_.pendingLeft;
            return Take::File;
        }
        if (shared_.forming) {
            if (!idle) return Take::Nothing;
            shared_.changed.wait(lock);
            continue;
        }
        if (shared_.ended && !shared_.pendingLeft) return Take::End;
        shared_.forming = true;
        lock.unlock();
        const bool formed = maker_.Form(source, idle, false);
        lock.lock();
        shared_.forming = false;
        shared_.changed.notify_all();
        waiting_ = !shared_.ready.empty() || shared_.pendingLeft;
        if (!formed) {
            if (shared_.ended && !shared_.pendingLeft) return Take::End;
            if (!idle || !memory_.cold) return Take::Nothing;
        }
        if (shared_.ready.empty()) return formed ? Take::Settled : Take::Nothing;
    }
}

void DiskWindow::LargeDone() {
    std::lock_guard<std::mutex> lock(shared_.mutex);
    shared_.largeReading = false;
    shared_.changed.notify_all();
}
