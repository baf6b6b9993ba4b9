// The ring of the digest line (digest_pipeline.h): the slots that items wait
// in between the producer and the consumer, the one lock over them, and the
// producer's end, which puts items in. The hashing threads' end is
// pipeline_tasks.h, the consumer's pipeline_consumer.h; both work on the ring
// under its lock.
#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "digest_task.h"

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
class PipelineRing final : public ItemSink<Item> {
public:
    using Produce = std::function<void(ItemSink<Item>& sink)>;

    enum class Stage { Empty, Waiting, Claimed, Done };
    struct Slot {
        Stage stage = Stage::Empty;
        std::optional<Item> item;
        DigestTask task;
        DigestDone done;
        // Of its file, as the hashing thread says it has read it.
        std::atomic<std::uint64_t> read{0};
        std::atomic<std::uint64_t> size{0};
    };

    // Where the line is, in production order, how it ends, and who waits
    // now (a wake-up is sent only to one waiting for what came); under the lock.
    struct State {
        std::size_t produced = 0;
        std::size_t claimed = 0;
        std::size_t delivered = 0;
        bool producerDone = false;
        bool stopping = false;
        std::exception_ptr failure;
        bool consumerWaiting = false;
        bool producerWaiting = false;
        unsigned hashersWaiting = 0;
    };
    // The one lock over the ring, and what waits on it.
    struct Lock {
        std::mutex mutex;
        std::condition_variable space;      // a slot came free, or stop
        std::condition_variable claimable;  // a task came, the producer ended, or stop
        std::condition_variable finished;   // a result came, or the producer ended
    };

    explicit PipelineRing(std::size_t slots) : slots_(slots) {}

    // The slot of the item produced `index`th; under the lock.
    Slot& slot(std::size_t index) { return slots_[index % slots_.size()]; }

    // Free slots a full ring waits for before its producer goes on.
    std::size_t Room() const { return std::max<std::size_t>(1, slots_.size() / 8); }
    // Slots free now; under the lock.
    std::size_t FreeSlots() const { return state.delivered + slots_.size() - state.produced; }

    void push(Item&& item, DigestTask&& task) override {
        std::unique_lock<std::mutex> held(lock.mutex);
        Slot& next = slot(state.produced);
        if (FreeSlots() == 0) {
            // The ring is full: wait until a share of it is free, not for
            // each slot, so that the producer is woken once per share.
            state.producerWaiting = true;
            lock.space.wait(held, [&] { return FreeSlots() >= Room() || state.stopping; });
            state.producerWaiting = false;
        }
        if (state.stopping) throw PipelineStopped{};
        const bool hash = task.hash;
        next.item.emplace(std::move(item));
        next.task = std::move(task);
        next.done = DigestDone{};
        next.read.store(0, std::memory_order_relaxed);
        next.size.store(0, std::memory_order_relaxed);
        next.stage = hash ? Stage::Waiting : Stage::Done;
        const bool wakeHasher = hash && state.hashersWaiting > 0;
        // The consumer waits for this very item (to show it, or, needing
        // no hash, to take it).
        const bool wakeConsumer = state.consumerWaiting && state.produced == state.delivered;
        ++state.produced;
        held.unlock();
        if (wakeHasher) lock.claimable.notify_one();
        if (wakeConsumer) lock.finished.notify_one();
    }

    bool stopping() override {
        std::lock_guard<std::mutex> held(lock.mutex);
        return state.stopping;
    }

    // The producer's thread: `produce` puts every item, then the ring says
    // that no more will come.
    void RunProducer(Produce produce) {
        try {
            produce(*this);
        } catch (const PipelineStopped&) {
        } catch (...) {
            Fail(std::current_exception());
        }
        {
            std::lock_guard<std::mutex> held(lock.mutex);
            state.producerDone = true;
        }
        lock.claimable.notify_all();
        lock.finished.notify_all();
    }

    // The first failure of the producer or a hashing thread stops the line;
    // the consumer is given it.
    void Fail(std::exception_ptr failure) {
        {
            std::lock_guard<std::mutex> held(lock.mutex);
            if (!state.failure) state.failure = failure;
            state.stopping = true;
        }
        lock.space.notify_all();
        lock.claimable.notify_all();
        lock.finished.notify_all();
    }

    // Stops the producer and the hashing threads, which the caller then joins.
    void Stop() {
        {
            std::lock_guard<std::mutex> held(lock.mutex);
            state.stopping = true;
            // What nobody works on lets go of its folders now: a producer
            // waiting for a folder descriptor must not wait for them.
            for (Slot& each : slots_) {
                if (each.stage == Stage::Claimed) continue;
                each.task = DigestTask{};
                each.item.reset();
            }
        }
        lock.space.notify_all();
        lock.claimable.notify_all();
    }

    // Shared by the three ends: `state` only under `lock.mutex`.
    Lock lock;
    State state;

private:
    std::vector<Slot> slots_;
};
