// The loop of one hashing thread: take tasks, open each file (waiting for a
// descriptor when the process has none free), hash it, hand the result back.
#pragma once

#include "descriptor_budget.h"
#include "digest_task.h"

// Returns when the source has no more tasks.
void HashTasks(TaskSource& source, DescriptorBudget& files);

// Opens the task's file, or the first of the others found when it is not. An
// open that fails for want of descriptors (or memory) is tried again as
// DescriptorWait says: once another file of the budget is closed.
TesselLibrary::ReadOutcome OpenTask(const DigestTask& task, TesselLibrary::SequentialFile& file,
                                    std::optional<std::size_t>& other, DescriptorBudget& files);
