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
//
// Three pieces, each of its own file: the ring with the producer's end
// (pipeline_ring.h), the hashing threads' end (pipeline_tasks.h) and the
// consumer's (pipeline_consumer.h). This one starts and joins the threads.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "digest_task.h"
#include "pipeline_consumer.h"
#include "pipeline_ring.h"
#include "pipeline_tasks.h"
#include "thread_start.h"

template <typename Item>
class DigestPipeline {
public:
    using Produce = typename PipelineRing<Item>::Produce;
    using Hash = typename PipelineTasks<Item>::Hash;
    using Next = typename PipelineConsumer<Item>::Next;
    using WhileReading = typename PipelineConsumer<Item>::WhileReading;

    // Items that may be in the line at once, per hashing thread.
    static constexpr std::size_t kSlotsPerThread = 256;

    DigestPipeline(Produce produce, Hash hash, unsigned threads)
        : ring_(std::max<std::size_t>(1, threads) * kSlotsPerThread), tasks_(ring_, std::move(hash)), consumer_(ring_) {
        if (threads < 1) threads = 1;
        threads_.reserve(threads + 1);
        try {
            // The producer first: the first to be joined.
            threads_.push_back(TesselLibrary::StartThread(u"the thread that lists the files to hash",
                                                          &PipelineRing<Item>::RunProducer, &ring_,
                                                          std::move(produce)));
            for (unsigned i = 0; i < threads; ++i) {
                try {
                    threads_.push_back(
                        TesselLibrary::StartThread(u"a hashing thread", &PipelineTasks<Item>::Run, &tasks_));
                } catch (const TesselLibrary::ThreadNotStarted&) {
                    if (threads_.size() == 1) throw;
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

    // PipelineConsumer's: the item next() gives next, as soon as it is produced.
    const Item* upcoming() { return consumer_.upcoming(); }
    // PipelineConsumer's: whether next() has its item within `most`.
    bool readyWithin(std::chrono::steady_clock::duration most) { return consumer_.readyWithin(most); }
    // PipelineConsumer's: the next item in production order with its result.
    std::optional<Next> next(const WhileReading& reading = {}) { return consumer_.next(reading); }
    bool producerDone() { return consumer_.producerDone(); }

private:
    void Stop() {
        ring_.Stop();
        for (std::thread& thread : threads_) thread.join();
        threads_.clear();
    }

    PipelineRing<Item> ring_;
    PipelineTasks<Item> tasks_;
    PipelineConsumer<Item> consumer_;
    std::vector<std::thread> threads_;  // the producer's, then the hashing threads'
};
