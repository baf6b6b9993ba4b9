#include "task_file.h"

using namespace TesselLibrary;

namespace {

ReadOutcome OpenOnce(const FilePlace& place, SequentialFile& file) {
    if (place.reach == FilePlace::Reach::NotFound) return ReadOutcome::NotFound;
    if (place.reach == FilePlace::Reach::Unreadable) return ReadOutcome::Unreadable;
    const OwnerReads* owner = place.owner.get();
    return place.folder ? file.Open(*place.folder, place.name, owner) : file.Open(place.name, owner);
}

// The task's file, or the first of the others found when it is not there.
// `outOfDescriptors`: the open that decided failed for want of descriptors.
ReadOutcome OpenFirstFound(const DigestTask& task, SequentialFile& file, std::optional<std::size_t>& other,
                           bool& outOfDescriptors) {
    other.reset();
    ReadOutcome first = OpenOnce(task.file, file);
    outOfDescriptors = first != ReadOutcome::Complete && file.outOfDescriptors();
    if (first != ReadOutcome::NotFound) return first;
    for (std::size_t k = 0; k < task.others.size(); ++k) {
        const ReadOutcome opened = OpenOnce(task.others[k], file);
        if (opened == ReadOutcome::NotFound) continue;
        outOfDescriptors = opened != ReadOutcome::Complete && file.outOfDescriptors();
        other = k;
        return opened;
    }
    return first;
}

}  // namespace

ReadOutcome OpenTask(const DigestTask& task, SequentialFile& file, std::optional<std::size_t>& other,
                     DescriptorBudget& files) {
    // This file's own token is one of those out.
    DescriptorWait wait(files);
    for (;;) {
        bool outOfDescriptors = false;
        const ReadOutcome opened = OpenFirstFound(task, file, other, outOfDescriptors);
        if (!outOfDescriptors || !wait.Again()) return opened;
    }
}

DigestDone Failed(ReadOutcome outcome, std::optional<std::size_t> other) {
    DigestDone done;
    done.digest.result = outcome == ReadOutcome::NotFound ? DigestResult::NotFound : DigestResult::Unreadable;
    done.other = other;
    return done;
}

Opening OpenClaimed(TaskSource& source, DescriptorBudget& files, const TaskSource::Claimed& claimed, bool holdsOthers,
                    OpenedTask& opened) {
    if (!files.TryTake()) {
        if (holdsOthers) return Opening::NoDescriptor;
        files.Take();
    }
    DescriptorToken token(files);
    opened.claimed = claimed;
    bool outOfDescriptors = false;
    ReadOutcome outcome = OpenFirstFound(*claimed.task, opened.file, opened.other, outOfDescriptors);
    if (outOfDescriptors) {
        // The process's own files hold the descriptors: try again once one
        // is closed. With none of the caller's, wait as a lone open does.
        if (holdsOthers) return Opening::NoDescriptor;
        outcome = OpenTask(*claimed.task, opened.file, opened.other, files);
    }
    if (outcome != ReadOutcome::Complete) {
        source.Complete(claimed.index, Failed(outcome, opened.other));
        return Opening::Settled;
    }
    opened.token = std::move(token);
    return Opening::Opened;
}
