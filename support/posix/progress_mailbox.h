// POSIX backend, private: how the job's thread hands the progress runner on
// the main thread one request at a time, and waits until it has been
// applied, so that what the job says is on the screen before it goes on.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "tessel_progress.h"

namespace TesselLibrary::Posix {

struct ProgressRequest {
    enum class Kind { Position, Status, Counts, Text, End } kind = Kind::Position;
    std::uint32_t position = 0;
    std::u16string status;  // a copy: the job's buffer may change right after
    bool failed = false;    // for End
    std::string text;       // for Text: bytes for standard error
    ProgressCounts counts;
};

class ProgressMailbox {
public:
    // Takes requests from now on (a new run); nothing is waiting.
    void Open();
    // From the job: hands one request over and waits until it has been
    // served; true when it was. Before Open, or once closed, it is dropped.
    bool Post(ProgressRequest request);
    // From the main thread: waits for the next request.
    ProgressRequest Take();
    // The request Take gave has been applied; `last`: no more are taken.
    void Served(bool last);
    // Takes no more requests, and releases a job waiting in Post.
    void Close();

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<ProgressRequest> waiting_;  // the one request the main thread has still to take
    std::uint64_t posted_ = 0;
    std::uint64_t served_ = 0;
    bool open_ = false;
};

}  // namespace TesselLibrary::Posix
