#include "progress_mailbox.h"

#include <utility>

namespace TesselLibrary::Posix {

void ProgressMailbox::Open() {
    std::lock_guard<std::mutex> lock(mutex_);
    waiting_.reset();
    posted_ = 0;
    served_ = 0;
    open_ = true;
}

bool ProgressMailbox::Post(ProgressRequest request) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return !waiting_ || !open_; });
    if (!open_) return false;
    waiting_ = std::move(request);
    const std::uint64_t ticket = ++posted_;
    changed_.notify_all();
    changed_.wait(lock, [&] { return served_ >= ticket || !open_; });
    return served_ >= ticket;
}

ProgressRequest ProgressMailbox::Take() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return waiting_.has_value(); });
    ProgressRequest request = std::move(*waiting_);
    waiting_.reset();
    return request;
}

void ProgressMailbox::Served(bool last) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++served_;
    if (last) open_ = false;
    changed_.notify_all();
}

void ProgressMailbox::Close() {
    std::lock_guard<std::mutex> lock(mutex_);
    open_ = false;
    waiting_.reset();
    changed_.notify_all();
}

}  // namespace TesselLibrary::Posix
