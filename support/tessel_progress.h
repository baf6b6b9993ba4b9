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

struct TesselProgressData;

class TesselProgress {
public:
    TesselProgress();
    ~TesselProgress();
    TesselProgress(const TesselProgress&) = delete;
    TesselProgress& operator=(const TesselProgress&) = delete;

    // Shows the display, starts `job(jobArgument)` on a worker thread once it
    // is up, and returns when the job has ended it: true exactly when the
    // job called EndJob(false).
    bool Run(const TesselAppWindows& frame, const char16_t* title, void* jobArgument, ProgressJob job);

    // Called from the job.
    void SetPosition(std::uint32_t position);
    void SetStatus(const char16_t* text);
    void EndJob(bool failed);

private:
    std::unique_ptr<TesselProgressData> data_;
};

}  // namespace TesselLibrary
