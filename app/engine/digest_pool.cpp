#include "digest_pool.h"

#include <string>
#include <system_error>

#include "processors.h"

namespace {

// Results that may wait for the consumer, per hashing thread: enough to
// keep every thread busy past one slow file, few enough to stay small.
constexpr std::size_t kWindowPerThread = 64;
// More threads than this only add contention.
constexpr unsigned kMostThreads = 256;

}  // namespace

unsigned hashingThreads() {
    const std::u16string asked = TesselLibrary::EnvironmentValue(u"SUMVANE_THREADS");
    unsigned value = 0;
    bool number = !asked.empty() && asked.size() <= 3;
    for (const char16_t c : asked) {
        if (c < u'0' || c > u'9') number = false;
        else value = value * 10 + static_cast<unsigned>(c - u'0');
    }
    if (number && value >= 1) return value < kMostThreads ? value : kMostThreads;
    const unsigned processors = TesselLibrary::UsableProcessors();
    if (processors < 1) return 1;
    return processors < kMostThreads ? processors : kMostThreads;
}

DigestPool::DigestPool(std::vector<DigestTask> tasks, unsigned threads) : tasks_(std::move(tasks)) {
    if (threads > tasks_.size()) threads = static_cast<unsigned>(tasks_.size());
    if (threads > 1) {
        window_.resize(static_cast<std::size_t>(threads) * kWindowPerThread);
        for (unsigned i = 0; i < threads; ++i) {
            try {
                threads_.emplace_back(&DigestPool::work, this);
            } catch (const std::system_error&) {
                break;  // fewer threads than asked still finish the list
            }
        }
    }
    if (threads_.empty()) ownDigester_ = std::make_unique<FileDigester>();
}

DigestPool::~DigestPool() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    claimable_.notify_all();
    for (std::thread& thread : threads_) thread.join();
}

DigestDone DigestPool::compute(FileDigester& digester, const DigestTask& task) {
    DigestDone done;
    done.digest = digester.digest(task.path);
    for (const std::u16string& alternative : task.alternatives) {
        if (done.digest.result != DigestResult::NotFound) break;
        FileDigest other = digester.digest(alternative);
        if (other.result != DigestResult::NotFound) {
            done.digest = other;
            done.alternativeUsed = alternative;
        }
    }
    return done;
}

DigestDone DigestPool::next() {
    if (ownDigester_) return compute(*ownDigester_, tasks_[delivered_++]);

    std::unique_lock<std::mutex> lock(mutex_);
    std::optional<DigestDone>& slot = window_[delivered_ % window_.size()];
    finished_.wait(lock, [&] { return slot.has_value() || failure_; });
    if (!slot) std::rethrow_exception(failure_);
    DigestDone done = std::move(*slot);
    slot.reset();
    ++delivered_;
    lock.unlock();
    claimable_.notify_all();  // the window moved on: a task further down may start
    return done;
}

void DigestPool::work() {
    try {
        FileDigester digester;
        for (;;) {
            std::size_t index;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                claimable_.wait(lock, [&] {
                    return stopping_ || claimed_ >= tasks_.size() || claimed_ < delivered_ + window_.size();
                });
                if (stopping_ || claimed_ >= tasks_.size()) return;
                index = claimed_++;
            }
            DigestDone done = compute(digester, tasks_[index]);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                window_[index % window_.size()] = std::move(done);
            }
            finished_.notify_one();
        }
    } catch (...) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!failure_) failure_ = std::current_exception();
        finished_.notify_all();
    }
}
