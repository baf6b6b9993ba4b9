// The consumer's end of the digest line (digest_pipeline.h): the items taken
// back strictly in production order, each with its result, over the ring
// (pipeline_ring.h).
#pragma once

#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <utility>

#include "digest_task.h"
#include "pipeline_ring.h"
#include "platform.h"

template <typename Item>
class PipelineConsumer {
public:
    using Ring = PipelineRing<Item>;
    using Stage = typename Ring::Stage;

    struct Next {
        Item item;
        DigestDone done;
    };

    // Far less than it takes a thread to hash its share of the ring.
    static constexpr std::chrono::microseconds kConsumerNap{200};
    // At most this often, a consumer waiting for a file being read is told
    // how far it is.
    static constexpr std::chrono::milliseconds kReadingEvery{250};
    using WhileReading = std::function<void(std::uint64_t done, std::uint64_t size)>;

    explicit PipelineConsumer(Ring& ring) : ring_(ring) {}

    // The item next() gives next, as soon as it is produced (its file may
    // still be hashed): what the consumer can show while it waits. Null
    // after the last; valid until next().
    const Item* upcoming() {
        typename Ring::State& state = ring_.state;
        std::unique_lock<std::mutex> held(ring_.lock.mutex);
        typename Ring::Slot& slot = ring_.slot(state.delivered);
        state.consumerWaiting = true;
        ring_.lock.finished.wait(
            held, [&] { return state.delivered < state.produced || state.failure || state.producerDone; });
        state.consumerWaiting = false;
        if (state.failure) std::rethrow_exception(state.failure);
        return state.delivered < state.produced ? &*slot.item : nullptr;
    }

    // Waits at most `most` for next() to have its item (or the end) at once;
    // false when it has not yet.
    bool readyWithin(std::chrono::steady_clock::duration most) {
        std::unique_lock<std::mutex> held(ring_.lock.mutex);
        typename Ring::Slot& slot = ring_.slot(ring_.state.delivered);
        ring_.state.consumerWaiting = true;
        const bool ready = ring_.lock.finished.wait_for(held, most, [&] { return Ready(slot); });
        ring_.state.consumerWaiting = false;
        return ready;
    }

    // The next item in production order with its result; nothing after the
    // last. While it waits for a large file that a hashing thread reads,
    // `reading` (when given) is told, about every kReadingEvery, the bytes
    // of it read so far and its size.
    std::optional<Next> next(const WhileReading& reading = {}) {
        typename Ring::State& state = ring_.state;
        std::unique_lock<std::mutex> held(ring_.lock.mutex);
        typename Ring::Slot& slot = ring_.slot(state.delivered);
        Wait(held, slot, reading);
        if (state.failure) std::rethrow_exception(state.failure);
        if (slot.stage != Stage::Done) return std::nullopt;
        Next next{std::move(*slot.item), std::move(slot.done)};
        slot.item.reset();
        slot.task = DigestTask{};  // lets go of its folder
        slot.stage = Stage::Empty;
        ++state.delivered;
        // A wake-up costs a system call and a switch: only for the one who
        // waits for just this, the producer once a share of the ring is free.
        const bool wake = state.producerWaiting && ring_.FreeSlots() == ring_.Room();
        held.unlock();
        if (wake) ring_.lock.space.notify_one();
        return next;
    }

    // Whether the producer has finished.
    bool producerDone() {
        std::lock_guard<std::mutex> held(ring_.lock.mutex);
        return ring_.state.producerDone;
    }

private:
    // Whether next() has its item, or knows there is none; under the lock.
    bool Ready(const typename Ring::Slot& slot) const {
        const typename Ring::State& state = ring_.state;
        return slot.stage == Stage::Done || state.failure || (state.producerDone && state.delivered == state.produced);
    }

    // Until `slot` is ready, telling `reading` how far its file is read.
    void Wait(std::unique_lock<std::mutex>& held, typename Ring::Slot& slot, const WhileReading& reading) {
        const auto ready = [&] { return Ready(slot); };
        // A result woken for costs the hashing thread a system call and a
        // switch, for every few files when they are small: a short nap
        // first, unannounced, finds most of them done without one.
        if (TesselLibrary::kShortTimedWaits && !ready()) ring_.lock.finished.wait_for(held, kConsumerNap, ready);
        ring_.state.consumerWaiting = true;
        if (reading) {
            while (!ring_.lock.finished.wait_for(held, kReadingEvery, ready)) {
                const std::uint64_t size = slot.size.load(std::memory_order_relaxed);
                if (slot.stage != Stage::Claimed || size == 0) continue;
                const std::uint64_t done = slot.read.load(std::memory_order_relaxed);
                // The display waits for its update: not under the lock.
                held.unlock();
                reading(done, size);
                held.lock();
            }
        } else {
            ring_.lock.finished.wait(held, ready);
        }
        ring_.state.consumerWaiting = false;
    }

    Ring& ring_;
};
