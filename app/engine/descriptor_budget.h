// How many files and folders the hashing threads and the walk may hold open
// at once, so that the process's own limit on open files never becomes a
// file's fault: an open waits for a descriptor of its kind to come free
// instead of failing.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>

class DescriptorBudget {
public:
    explicit DescriptorBudget(unsigned tokens) : count_{tokens, tokens} {}
    DescriptorBudget(const DescriptorBudget&) = delete;
    DescriptorBudget& operator=(const DescriptorBudget&) = delete;

    unsigned tokens() const { return count_.tokens; }
    bool TryTake();
    // Waits until one is free.
    void Take();
    void Give();
    // Waits up to `most` for a Give; false when none came.
    bool WaitForGive(std::chrono::milliseconds most);
    // How many tokens are taken now.
    unsigned outstanding();

    // How long one wait for a Give lasts before the waiter looks again at
    // what else it could do (let a folder go, stop).
    static constexpr std::chrono::milliseconds kPause{20};
    // How long a budget found starved stays so.
    static constexpr std::chrono::seconds kStarved{1};

private:
    friend class DescriptorWait;

    // The budget's tokens, counted under mutex_.
    struct Count {
        const unsigned tokens;
        unsigned free;
        // Every Give so far: a waiter knows one came when this has moved.
        std::size_t gives = 0;

        unsigned taken() const { return tokens - free; }
    };

    std::mutex mutex_;
    std::condition_variable given_;
    Count count_;
    // Until then an open that finds no descriptor, with none of the
    // budget's others out, gives up at once: one did so lately, and none
    // came back while it waited.
    std::chrono::steady_clock::time_point starvedUntil_{};
};

// What an open that failed for want of descriptors does next, for files and
// folders alike. While others of the budget are out (files in other lanes
// or threads, folders held by items in the line), one of them comes back:
// it waits for that and tries again. When none is out, the descriptors are
// short for another reason (the process's own limit is that low, or the
// system's table or memory is full): it waits one pause for the system,
// then gives up, and the opens after it in the next second give up at once.
// So a run under a very low limit fails its files promptly instead of each
// one waiting.
class DescriptorWait {
public:
    // `own`: tokens of `budget` the caller holds itself (they come back
    // only once it gives up).
    explicit DescriptorWait(DescriptorBudget& budget, unsigned own = 1) : budget_(budget), own_(own) {}
    // True: try the open again.
    bool Again();

private:
    DescriptorBudget& budget_;
    const unsigned own_;
    bool paused_ = false;
};

// One token, given back when it goes.
class DescriptorToken {
public:
    DescriptorToken() = default;
    explicit DescriptorToken(DescriptorBudget& budget) : budget_(&budget) {}
    ~DescriptorToken() {
        if (budget_) budget_->Give();
    }
    DescriptorToken(DescriptorToken&& other) noexcept : budget_(other.budget_) { other.budget_ = nullptr; }
    DescriptorToken& operator=(DescriptorToken&& other) noexcept {
        if (this != &other) {
            if (budget_) budget_->Give();
            budget_ = other.budget_;
            other.budget_ = nullptr;
        }
        return *this;
    }
    DescriptorToken(const DescriptorToken&) = delete;
    DescriptorToken& operator=(const DescriptorToken&) = delete;

private:
    DescriptorBudget* budget_ = nullptr;
};

// How `available` descriptors are shared: a quarter for the folders of the
// walk (at least 3: the root, a folder and the one opened below it), the
// rest for the files being hashed (at least 1).
struct BudgetSplit {
    unsigned folders;
    unsigned files;
};
BudgetSplit SplitDescriptors(unsigned available);

// The budgets of one job: what the process may still open, less a few the
// job needs besides (the summary, its replacement, a log line, a listing).
struct JobBudgets {
    JobBudgets() : JobBudgets(SplitDescriptors(Available())) {}
    explicit JobBudgets(BudgetSplit split) : folders(split.folders), files(split.files) {}
    DescriptorBudget folders;
    DescriptorBudget files;

    static unsigned Available();
};
