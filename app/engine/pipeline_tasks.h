// The hashing threads' end of the digest line (digest_pipeline.h): the
// TaskSource they claim their tasks from and hand their results back to,
// over the ring (pipeline_ring.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "digest_task.h"
#include "pipeline_ring.h"

template <typename Item>
class PipelineTasks final : public TaskSource {
public:
    // What each hashing thread runs: take tasks from the source until it
    // has none (HashTasks, or a stand-in in tests).
    using Hash = std::function<void(TaskSource& source)>;
    using Ring = PipelineRing<Item>;
    using Stage = typename Ring::Stage;

    PipelineTasks(Ring& ring, Hash hash) : ring_(ring), hash_(std::move(hash)) {}

    // A hashing thread: its failure stops the line.
    void Run() {
        try {
            hash_(*this);
        } catch (...) {
            ring_.Fail(std::current_exception());
        }
    }

    std::optional<Claimed> Claim(bool wait) override {
        std::unique_lock<std::mutex> held(ring_.lock.mutex);
        for (;;) {
            if (std::optional<Claimed> claimed = ClaimLocked()) return claimed;
            if (ring_.state.stopping || ring_.state.producerDone || !wait) return std::nullopt;
            ++ring_.state.hashersWaiting;
            ring_.lock.claimable.wait(held);
            --ring_.state.hashersWaiting;
        }
    }

    std::size_t Claim(std::size_t most, std::deque<Claimed>& into) override {
        std::lock_guard<std::mutex> held(ring_.lock.mutex);
        std::size_t taken = 0;
        for (; taken < most; ++taken) {
            std::optional<Claimed> claimed = ClaimLocked();
            if (!claimed) break;
            into.push_back(*claimed);
        }
        return taken;
    }

    void Complete(std::size_t index, DigestDone done) override {
        bool wake;
        {
            std::lock_guard<std::mutex> held(ring_.lock.mutex);
            typename Ring::Slot& slot = ring_.slot(index);
            slot.done = std::move(done);
            slot.stage = Stage::Done;
            wake = ring_.state.consumerWaiting && index == ring_.state.delivered;
        }
        if (wake) ring_.lock.finished.notify_one();
    }

    void Complete(std::vector<std::pair<std::size_t, DigestDone>>& results) override {
        bool wake = false;
        {
            std::lock_guard<std::mutex> held(ring_.lock.mutex);
            for (auto& [index, done] : results) {
                typename Ring::Slot& slot = ring_.slot(index);
                slot.done = std::move(done);
                slot.stage = Stage::Done;
                wake = wake || (ring_.state.consumerWaiting && index == ring_.state.delivered);
            }
        }
        results.clear();
        if (wake) ring_.lock.finished.notify_one();
    }

    void Reading(std::size_t index, std::uint64_t done, std::uint64_t size) override {
        typename Ring::Slot& slot = ring_.slot(index);
        slot.size.store(size, std::memory_order_relaxed);
        slot.read.store(done, std::memory_order_relaxed);
    }

private:
    // The next task nobody has taken, if one is there now; under the lock.
    std::optional<Claimed> ClaimLocked() {
        typename Ring::State& state = ring_.state;
        // Items that need no hashing are skipped over, and may have been
        // taken by the consumer already: their slots hold later items.
        if (state.claimed < state.delivered) state.claimed = state.delivered;
        while (state.claimed < state.produced && ring_.slot(state.claimed).stage == Stage::Done) ++state.claimed;
        if (state.stopping || state.claimed == state.produced) return std::nullopt;
        typename Ring::Slot& slot = ring_.slot(state.claimed);
        slot.stage = Stage::Claimed;
        return Claimed{state.claimed++, &slot.task};
    }

    Ring& ring_;
    Hash hash_;
};
