#include "descriptor_budget.h"

#include "processors.h"

namespace {

// Descriptors a job uses outside the budgets: the summary it reads, the
// replacement it writes, a log line, a folder being reopened, a listing.
constexpr unsigned kSpare = 8;
// Beyond these, more open at once buys nothing.
constexpr unsigned kMostFolders = 256;
constexpr unsigned kMostFiles = 4096;

}  // namespace

bool DescriptorBudget::TryTake() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (count_.free == 0) return false;
    --count_.free;
    return true;
}

void DescriptorBudget::Take() {
    std::unique_lock<std::mutex> lock(mutex_);
    given_.wait(lock, [&] { return count_.free > 0; });
    --count_.free;
}

void DescriptorBudget::Give() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++count_.free;
        ++count_.gives;
    }
    given_.notify_all();
}

bool DescriptorBudget::WaitForGive(std::chrono::milliseconds most) {
    std::unique_lock<std::mutex> lock(mutex_);
    const std::size_t seen = count_.gives;
    return given_.wait_for(lock, most, [&] { return count_.gives != seen; });
}

unsigned DescriptorBudget::outstanding() {
    std::lock_guard<std::mutex> lock(mutex_);
    return count_.taken();
}

bool DescriptorWait::Again() {
    std::unique_lock<std::mutex> lock(budget_.mutex_);
    const std::size_t seen = budget_.count_.gives;
    const auto given = [&] { return budget_.count_.gives != seen; };
    if (budget_.count_.taken() > own_) {
        budget_.given_.wait_for(lock, DescriptorBudget::kPause, given);
        return true;
    }
    if (paused_ || std::chrono::steady_clock::now() < budget_.starvedUntil_) return false;
    paused_ = true;
    if (budget_.given_.wait_for(lock, DescriptorBudget::kPause, given)) return true;
    budget_.starvedUntil_ = std::chrono::steady_clock::now() + DescriptorBudget::kStarved;
    return true;
}

BudgetSplit SplitDescriptors(unsigned available) {
    unsigned folders = available / 4;
    if (folders < 3) folders = 3;
    if (folders > kMostFolders) folders = kMostFolders;
    const unsigned files = available > folders + 1 ? available - folders : 1;
    return {folders, files < kMostFiles ? files : kMostFiles};
}

unsigned JobBudgets::Available() {
    const unsigned free = TesselLibrary::FreeDescriptors(kMostFolders + kMostFiles + kSpare);
    return free > kSpare ? free - kSpare : 0;
}
