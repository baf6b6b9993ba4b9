#include "hashing_thread.h"

using namespace TesselLibrary;

namespace {

// How long an open waits for descriptors when nothing of the job's own is
// open to free one (the system's table is full, or memory is short).
constexpr int kLoneRetries = 100;
constexpr std::chrono::milliseconds kRetryPause{20};

ReadOutcome OpenOne(const FilePlace& place, SequentialFile& file, DescriptorBudget& files) {
    if (place.reach == FilePlace::Reach::NotFound) return ReadOutcome::NotFound;
    if (place.reach == FilePlace::Reach::Unreadable) return ReadOutcome::Unreadable;
    for (int lone = 0;;) {
        const ReadOutcome opened = place.folder ? file.Open(*place.folder, place.name) : file.Open(place.name);
        if (opened == ReadOutcome::Complete || !file.outOfDescriptors()) return opened;
        // This file's own token is one of those out.
        if (files.outstanding() <= 1) {
            if (++lone > kLoneRetries) return opened;
        }
        files.WaitForGive(kRetryPause);
    }
}

}  // namespace

ReadOutcome OpenTask(const DigestTask& task, SequentialFile& file, std::optional<std::size_t>& other,
                     DescriptorBudget& files) {
    other.reset();
    const ReadOutcome first = OpenOne(task.file, file, files);
    if (first != ReadOutcome::NotFound) return first;
    for (std::size_t k = 0; k < task.others.size(); ++k) {
        const ReadOutcome opened = OpenOne(task.others[k], file, files);
        if (opened == ReadOutcome::NotFound) continue;
        other = k;
        return opened;
    }
    return first;
}

void HashTasks(TaskSource& source, DescriptorBudget& files) {
    FileDigester digester;
    while (const std::optional<TaskSource::Claimed> claimed = source.Claim(true)) {
        DigestDone done;
        {
            files.Take();
            const DescriptorToken token(files);  // given back after the file below is closed
            SequentialFile file;
            const ReadOutcome opened = OpenTask(*claimed->task, file, done.other, files);
            if (opened == ReadOutcome::Complete) {
                done.digest = digester.digest(file);
            } else if (opened == ReadOutcome::NotFound) {
                done.digest.result = DigestResult::NotFound;
            }
        }
        source.Complete(claimed->index, std::move(done));
    }
}
