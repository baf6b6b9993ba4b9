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
    explicit DescriptorBudget(unsigned tokens) : free_(tokens), tokens_(tokens) {}
    DescriptorBudget(const DescriptorBudget&) = delete;
    DescriptorBudget& operator=(const DescriptorBudget&) = delete;

    unsigned tokens() const { return tokens_; }
    bool TryTake();
    // Waits until one is free.
    void Take();
    void Give();
    // Waits up to `most` for a Give; false when none came. A caller whose
    // open failed for want of descriptors (the system's, or other files
    // the process holds) tries again after it.
    bool WaitForGive(std::chrono::milliseconds most);
    // How many tokens are taken now.
    unsigned outstanding();

private:
    std::mutex mutex_;
    std::condition_variable given_;
    unsigned free_;
    const unsigned tokens_;
    std::size_t gives_ = 0;
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
