// Runs one job on a worker thread while the main thread shows its progress:
// a title, a bar (0 to 100) and a status line. Every update from the job is
// synchronous: the worker waits until the main thread has taken it.
#pragma once

#include <cstdint>
#include <memory>

#include "platform.h"
#include "tessel_app.h"

namespace TesselLibrary {

using ProgressJob = std::uint32_t(TESSEL_STDCALL*)(void* jobArgument);

// How far a job is through its work list. A job that finds its work as it
// goes knows the totals only once it has found all of it.
struct ProgressCounts {
    std::uint64_t filesDone = 0;
    std::uint64_t filesTotal = 0;
    std::uint64_t bytesDone = 0;
    std::uint64_t bytesTotal = 0;
    bool totalsKnown = true;
    std::uint64_t damaged = 0;  // files whose bytes changed while their date did not
};

// Whether the display shows ProgressCounts, so that a job measures its
// files' sizes beforehand only when someone will see them.
bool ProgressShowsCounts();

struct TesselProgressData;

class TesselProgress {
public:
    TesselProgress();
    ~TesselProgress();
    TesselProgress(const TesselProgress&) = delete;
    TesselProgress& operator=(const TesselProgress&) = delete;

    // Shows the display, starts `job(jobArgument)` on a worker thread once it
    // is up, and returns when the job has ended it: true exactly when the
    // job called EndJob(false). A worker that cannot start throws
    // ThreadNotStarted (thread_start.h), naming the job by its title.
    bool Run(const TesselAppWindows& frame, const char16_t* title, void* jobArgument, ProgressJob job);

    // Called from the job.
    void SetPosition(std::uint32_t position);
    void SetStatus(const char16_t* text);
    // Shown (a few times a second at most) where the display has room for
    // them; the Windows dialog keeps its bar and status line only.
    void SetCounts(const ProgressCounts& counts);
    void EndJob(bool failed);

private:
    std::unique_ptr<TesselProgressData> data_;
};

}  // namespace TesselLibrary
