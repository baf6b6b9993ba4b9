// Digests of a whole work list on several threads, handed out strictly in
// list order, so that what a job writes never depends on thread timing.
// Results wait in a window of bounded size, so memory does not grow with
// the list; a thread that would run too far ahead waits for the consumer.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "file_digest.h"

struct DigestTask {
    std::u16string path;
    // Tried in this order while nothing is found at `path`.
    std::vector<std::u16string> alternatives;
};

struct DigestDone {
    FileDigest digest;
    // The alternative the digest is of; empty when it is of `path`.
    std::u16string alternativeUsed;
};

// The number of hashing threads: SUMVANE_THREADS when it holds a number
// from 1 up, else one per processor this process may use.
unsigned hashingThreads();

class DigestPool {
public:
    // With one thread nothing runs in the background: each `next` hashes
    // its file in the caller's thread.
    DigestPool(std::vector<DigestTask> tasks, unsigned threads);
    ~DigestPool();
    DigestPool(const DigestPool&) = delete;
    DigestPool& operator=(const DigestPool&) = delete;

    std::size_t size() const { return tasks_.size(); }
    // The outcome of the next task in list order, waiting for it when it is
    // not done yet. Called at most size() times. An exception a hashing
    // thread met (out of memory) is thrown here.
    DigestDone next();

private:
    DigestDone compute(FileDigester& digester, const DigestTask& task);
    void work();

    const std::vector<DigestTask> tasks_;
    std::size_t delivered_ = 0;
    std::unique_ptr<FileDigester> ownDigester_;  // the sequential path's

    std::mutex mutex_;
    std::condition_variable claimable_;  // a task may be claimed, or stop
    std::condition_variable finished_;   // a result arrived
    std::vector<std::optional<DigestDone>> window_;
    std::size_t claimed_ = 0;
    bool stopping_ = false;
    std::exception_ptr failure_;
    std::vector<std::thread> threads_;
};
