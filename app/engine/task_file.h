// Opening the file of a task a hashing thread has claimed: the task's own
// file, or the first of its others found, within the job's budget of open
// files.
#pragma once

#include <optional>

#include "descriptor_budget.h"
#include "digest_task.h"
#include "file_reader.h"

// A claimed task whose file is open, holding a token of the budget.
struct OpenedTask {
    TaskSource::Claimed claimed;
    TesselLibrary::SequentialFile file;
    DescriptorToken token;
    std::optional<std::size_t> other;  // the one of the task's others that was found
};

// Opens the task's file, or the first of the others found when it is not. An
// open that fails for want of descriptors (or memory) is tried again as
// DescriptorWait says: once another file of the budget is closed.
TesselLibrary::ReadOutcome OpenTask(const DigestTask& task, TesselLibrary::SequentialFile& file,
                                    std::optional<std::size_t>& other, DescriptorBudget& files);

// The result for a task whose file could not be opened.
DigestDone Failed(TesselLibrary::ReadOutcome outcome, std::optional<std::size_t> other);

enum class Opening {
    Opened,        // `opened` holds the file and its token
    Settled,       // it could not be opened: its result is handed back
    NoDescriptor,  // none free now; the caller's own files come back first
};
// Opens the file of `claimed` into `opened`. `holdsOthers`: the caller
// holds other files of the budget, which come back as it works on, so a
// missing descriptor is NoDescriptor; without, it waits for one.
Opening OpenClaimed(TaskSource& source, DescriptorBudget& files, const TaskSource::Claimed& claimed, bool holdsOthers,
                    OpenedTask& opened);
