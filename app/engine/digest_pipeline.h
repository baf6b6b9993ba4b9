// Build and verify as one streaming line: a producer (the walk of the tree,
// or the reader of the summary) hands items in summary order into a ring of
// bounded size; hashing threads take their files from it in any order; the
// consumer takes the results back strictly in production order. What a job
// writes therefore never depends on thread timing, and memory is bounded by
// the ring, not by the size of the tree or the summary.
//
// Calling sequence:
//
//     DigestPipeline<Item> line(produce, hash, threads);  // starts producer and hashers
//     while (auto next = line.next()) use(next->item, next->done);
//
// `produce(sink)` runs on a thread of its own and calls sink.push(item, task)
// once per item; push waits while the ring is full. An item whose task has
// `hash` false passes through unhashed. A producer that waits for anything
// else asks sink.stopping() now and then, and throws PipelineStopped then. An exception in the producer or a
// hashing thread (out of memory) is thrown from next(). A line whose producer,
// or not one hashing thread, could start throws ThreadNotStarted from its
// constructor. Destroying the line before its end stops the producer and the
// hashers.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "digest_task.h"
#include "platform.h"
#include "thread_start.h"

// Thrown out of push when the line is being destroyed, so that the producer
// unwinds.
struct PipelineStopped {};

template <typename Item>
class ItemSink {
public:
    virtual void push(Item&& item, DigestTask&& task) = 0;
    virtual bool stopping() = 0;

protected:
    ~ItemSink() = default;
};

template <typename Item>
class DigestPipeline : private TaskSource, private ItemSink<Item> {
public:
    using Produce = std::function<void(ItemSink<Item>& sink)>;
    // What each hashing thread runs: take tasks from the source until it
    // has none (HashTasks, or a stand-in in tests).
    using Hash = std::function<void(TaskSource& source)>;

    struct Next {
        Item item;
        DigestDone done;
    };

    // Items that may be in the line at once, per hashing thread.
    static constexpr std::size_t kSlotsPerThread = 256;
    // Far less than it takes a thread to hash its share of the ring.
    static constexpr std::chrono::microseconds kConsumerNap{200};

    DigestPipeline(Produce produce, Hash hash, unsigned threads)
        : slots_(std::max<std::size_t>(1, threads) * kSlotsPerThread), hash_(std::move(hash)) {
        if (threads < 1) threads = 1;
        try {
            producer_ = TesselLibrary::StartThread(u"the thread that lists the files to hash",
                                                   &DigestPipeline::RunProducer, this, std::move(produce));
            for (unsigned i = 0; i < threads; ++i) {
                try {
                    hashers_.push_back(TesselLibrary::StartThread(u"a hashing thread", &DigestPipeline::RunHasher, this));
                } catch (const TesselLibrary::ThreadNotStarted&) {
                    if (hashers_.empty()) throw;
                    break;  // fewer threads than asked still finish the work
                }
            }
        } catch (...) {
            Stop();
            throw;
        }
    }

    ~DigestPipeline() { Stop(); }
    DigestPipeline(const DigestPipeline&) = delete;
    DigestPipeline& operator=(const DigestPipeline&) = delete;

    // The item next() gives next, as soon as it is produced (its file may
    // still be hashed): what the consumer can show while it waits. Null
    // after the last; valid until next().
    const Item* upcoming() {
        std::unique_lock<std::mutex> lock(mutex_);
        Slot& slot = slots_[delivered_ % slots_.size()];
        consumerWaiting_ = true;
        finished_.wait(lock, [&] { return delivered_ < produced_ || failure_ || producerDone_; });
        consumerWaiting_ = false;
        if (failure_) std::rethrow_exception(failure_);
        return delivered_ < produced_ ? &*slot.item : nullptr;
    }

    // Waits at most `most` for next() to have its item (or the end) at once;
    // false when it has not yet.
    bool readyWithin(std::chrono::steady_clock::duration most) {
        std::unique_lock<std::mutex> lock(mutex_);
        Slot& slot = slots_[delivered_ % slots_.size()];
        consumerWaiting_ = true;
        const bool ready = finished_.wait_for(lock, most, [&] {
            return slot.state == State::Done || failure_ || (producerDone_ && delivered_ == produced_);
        });
        consumerWaiting_ = false;
        return ready;
    }

    // At most this often, a consumer waiting for a file being read is told
    // how far it is.
    static constexpr std::chrono::milliseconds kReadingEvery{250};
    using WhileReading = std::function<void(std::uint64_t done, std::uint64_t size)>;

    // The next item in production order with its result; nothing after the
    // last. While it waits for a large file that a hashing thread reads,
    // `reading` (when given) is told, about every kReadingEvery, the bytes
    // of it read so far and its size.
    std::optional<Next> next(const WhileReading& reading = {}) {
        std::unique_lock<std::mutex> lock(mutex_);
        Slot& slot = slots_[delivered_ % slots_.size()];
        const auto ready = [&] {
            return slot.state == State::Done || failure_ || (producerDone_ && delivered_ == produced_);
        };
        // A result woken for costs the hashing thread a system call and a
        // switch, for every few files when they are small: a short nap
        // first, unannounced, finds most of them done without one.
        if (TesselLibrary::kShortTimedWaits && !ready()) finished_.wait_for(lock, kConsumerNap, ready);
        consumerWaiting_ = true;
        if (reading) {
            while (!finished_.wait_for(lock, kReadingEvery, ready)) {
                const std::uint64_t size = slot.size.load(std::memory_order_relaxed);
                if (slot.state != State::Claimed || size == 0) continue;
                const std::uint64_t done = slot.read.load(std::memory_order_relaxed);
                // The display waits for its update: not under the lock.
                lock.unlock();
                reading(done, size);
                lock.lock();
            }
        } else {
            finished_.wait(lock, ready);
        }
        consumerWaiting_ = false;
        if (failure_) std::rethrow_exception(failure_);
        if (slot.state != State::Done) return std::nullopt;
        Next next{std::move(*slot.item), std::move(slot.done)};
        slot.item.reset();
        slot.task = DigestTask{};  // lets go of its folder
        slot.state = State::Empty;
        ++delivered_;
        // A wake-up costs a system call and a switch: only for the one who
        // waits for just this, the producer once a share of the ring is free.
        const bool wake = producerWaiting_ && delivered_ + slots_.size() - produced_ == Room();
        lock.unlock();
        if (wake) space_.notify_one();
        return next;
    }

    // Whether the producer has finished.
    bool producerDone() {
        std::lock_guard<std::mutex> lock(mutex_);
        return producerDone_;
    }

private:
    enum class State { Empty, Waiting, Claimed, Done };
    struct Slot {
        State state = State::Empty;
        std::optional<Item> item;
        DigestTask task;
        DigestDone done;
        // Of its file, as the hashing thread says it has read it.
        std::atomic<std::uint64_t> read{0};
        std::atomic<std::uint64_t> size{0};
    };

    void Reading(std::size_t index, std::uint64_t done, std::uint64_t size) override {
        Slot& slot = slots_[index % slots_.size()];
        slot.size.store(size, std::memory_order_relaxed);
        slot.read.store(done, std::memory_order_relaxed);
    }

    void push(Item&& item, DigestTask&& task) override {
        std::unique_lock<std::mutex> lock(mutex_);
        Slot& slot = slots_[produced_ % slots_.size()];
        if (produced_ - delivered_ == slots_.size()) {
            // The ring is full: wait until a share of it is free, not for
            // each slot, so that the producer is woken once per share.
            producerWaiting_ = true;
            space_.wait(lock, [&] { return delivered_ + slots_.size() - produced_ >= Room() || stopping_; });
            producerWaiting_ = false;
        }
        if (stopping_) throw PipelineStopped{};
        const bool hash = task.hash;
        slot.item.emplace(std::move(item));
        slot.task = std::move(task);
        slot.done = DigestDone{};
        slot.read.store(0, std::memory_order_relaxed);
        slot.size.store(0, std::memory_order_relaxed);
        slot.state = hash ? State::Waiting : State::Done;
        const bool wakeHasher = hash && hashersWaiting_ > 0;
        // The consumer waits for this very item (to show it, or, needing
        // no hash, to take it).
        const bool wakeConsumer = consumerWaiting_ && produced_ == delivered_;
        ++produced_;
        lock.unlock();
        if (wakeHasher) claimable_.notify_one();
        if (wakeConsumer) finished_.notify_one();
    }

    // Free slots a full ring waits for before its producer goes on.
    std::size_t Room() const { return std::max<std::size_t>(1, slots_.size() / 8); }

    bool stopping() override {
        std::lock_guard<std::mutex> lock(mutex_);
        return stopping_;
    }

    void RunProducer(Produce produce) {
        try {
            produce(*this);
        } catch (const PipelineStopped&) {
        } catch (...) {
            Fail(std::current_exception());
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            producerDone_ = true;
        }
        claimable_.notify_all();
        finished_.notify_all();
    }

    void RunHasher() {
        try {
            hash_(*this);
        } catch (...) {
            Fail(std::current_exception());
        }
    }

    std::optional<Claimed> Claim(bool wait) override {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            if (std::optional<Claimed> claimed = ClaimLocked()) return claimed;
            if (stopping_ || producerDone_ || !wait) return std::nullopt;
            ++hashersWaiting_;
            claimable_.wait(lock);
            --hashersWaiting_;
        }
    }

    std::size_t Claim(std::size_t most, std::deque<Claimed>& into) override {
        std::lock_guard<std::mutex> lock(mutex_);
        std::size_t taken = 0;
        for (; taken < most; ++taken) {
            std::optional<Claimed> claimed = ClaimLocked();
            if (!claimed) break;
            into.push_back(*claimed);
        }
        return taken;
    }

    // The next task nobody has taken, if one is there now; under the lock.
    std::optional<Claimed> ClaimLocked() {
        // Items that need no hashing are skipped over, and may have been
        // taken by the consumer already: their slots hold later items.
        if (claimed_ < delivered_) claimed_ = delivered_;
        while (claimed_ < produced_ && slots_[claimed_ % slots_.size()].state == State::Done) ++claimed_;
        if (stopping_ || claimed_ == produced_) return std::nullopt;
        Slot& slot = slots_[claimed_ % slots_.size()];
        slot.state = State::Claimed;
        return Claimed{claimed_++, &slot.task};
    }

    void Complete(std::size_t index, DigestDone done) override {
        bool wake;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            Slot& slot = slots_[index % slots_.size()];
            slot.done = std::move(done);
            slot.state = State::Done;
            wake = consumerWaiting_ && index == delivered_;
        }
        if (wake) finished_.notify_one();
    }

    void Complete(std::vector<std::pair<std::size_t, DigestDone>>& results) override {
        bool wake = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            for (auto& [index, done] : results) {
                Slot& slot = slots_[index % slots_.size()];
                slot.done = std::move(done);
                slot.state = State::Done;
                wake = wake || (consumerWaiting_ && index == delivered_);
            }
        }
        results.clear();
        if (wake) finished_.notify_one();
    }

    void Fail(std::exception_ptr failure) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!failure_) failure_ = failure;
            stopping_ = true;
        }
        space_.notify_all();
        claimable_.notify_all();
        finished_.notify_all();
    }

    void Stop() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
            // What nobody works on lets go of its folders now: a producer
            // waiting for a folder descriptor must not wait for them.
            for (Slot& slot : slots_) {
                if (slot.state == State::Claimed) continue;
                slot.task = DigestTask{};
                slot.item.reset();
            }
        }
        space_.notify_all();
        claimable_.notify_all();
        if (producer_.joinable()) producer_.join();
        for (std::thread& hasher : hashers_) hasher.join();
        hashers_.clear();
    }

    std::vector<Slot> slots_;
    Hash hash_;
    std::mutex mutex_;
    std::condition_variable space_;      // a slot came free, or stop
    std::condition_variable claimable_;  // a task came, the producer ended, or stop
    std::condition_variable finished_;   // a result came, or the producer ended
    std::size_t produced_ = 0;
    std::size_t claimed_ = 0;
    std::size_t delivered_ = 0;
    bool producerDone_ = false;
    bool stopping_ = false;
    // Who waits now: a wake-up is sent only to one waiting for what came.
    bool consumerWaiting_ = false;
    bool producerWaiting_ = false;
    unsigned hashersWaiting_ = 0;
    std::exception_ptr failure_;
    std::thread producer_;
    std::vector<std::thread> hashers_;
};
