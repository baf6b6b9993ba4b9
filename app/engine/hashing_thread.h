// The loop of one hashing thread: take tasks, open each file (waiting for a
// descriptor when the process has none free), hash it, hand the result back.
#pragma once

#include <memory>

#include "descriptor_budget.h"
#include "digest_task.h"
#include "task_file.h"

class DiskWindow;

// What the hashing threads of one job share: the budget of files they may
// hold open, and, when the tree lies on a rotating disk, the window of
// files read in the order of their places on it (disk_window.h).
class HashingPlan {
public:
    // `root`: the folder the job works below (null: none, or not known).
    // SUMVANE_DISK_ORDER=1 or 0 says whether to read in disk order where
    // the system's word is wrong (a virtual disk that calls itself
    // rotating, an array of disks that does not).
    HashingPlan(DescriptorBudget& files, const TesselLibrary::Folder* root);
    // Disk order as given, whatever the device.
    HashingPlan(DescriptorBudget& files, bool diskOrder);
    ~HashingPlan();
    HashingPlan(const HashingPlan&) = delete;
    HashingPlan& operator=(const HashingPlan&) = delete;

    DescriptorBudget& files() const { return files_; }
    DiskWindow* window() const { return window_.get(); }  // null: any order is as good

private:
    DescriptorBudget& files_;
    std::unique_ptr<DiskWindow> window_;
};

// Returns when the source has no more tasks.
void HashTasks(TaskSource& source, const HashingPlan& plan);
void HashTasks(TaskSource& source, DescriptorBudget& files);
