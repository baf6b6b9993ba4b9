// The loop of one hashing thread: take tasks, open each file (waiting for a
// descriptor when the process has none free), hash it, hand the result back.
#pragma once

#include "descriptor_budget.h"
#include "digest_task.h"

// What the hashing threads of one job share: the budget of files they may
// hold open, and how the tree's device is read best.
class HashingPlan {
public:
    // `root`: the folder the job works below (null: none, or not known).
    HashingPlan(DescriptorBudget& files, const TesselLibrary::Folder* root);
    // Disk order as given, whatever the device.
    explicit HashingPlan(DescriptorBudget& files, bool diskOrder = false) : files_(files), diskOrder_(diskOrder) {}

    DescriptorBudget& files() const { return files_; }
    // The tree lies on a rotating disk: one thread reads, and it reads the
    // files of each window of the line in the order of their places on it.
    bool diskOrder() const { return diskOrder_; }
    // How many hashing threads to start, of `wanted`: one in disk order.
    unsigned threads(unsigned wanted) const { return diskOrder_ ? 1 : wanted; }

private:
    DescriptorBudget& files_;
    bool diskOrder_ = false;
};

// Returns when the source has no more tasks.
void HashTasks(TaskSource& source, const HashingPlan& plan);
void HashTasks(TaskSource& source, DescriptorBudget& files);

// Opens the task's file, or the first of the others found when it is not. An
// open that fails for want of descriptors (or memory) is tried again as
// DescriptorWait says: once another file of the budget is closed.
TesselLibrary::ReadOutcome OpenTask(const DigestTask& task, TesselLibrary::SequentialFile& file,
                                    std::optional<std::size_t>& other, DescriptorBudget& files);
