// The progress runner on a terminal: the main thread draws the display on
// standard error and serves the worker's requests one at a time; the worker
// blocks in every request until the main thread has applied it.
#include "tessel_progress.h"

#include <atomic>
#include <chrono>
#include <exception>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include "progress_mailbox.h"
#include "standard_error.h"
#include "terminal_display.h"
#include "thread_start.h"

namespace TesselLibrary {

using Posix::ProgressRequest;

namespace {

// Counts change with every file; more redraws than this nobody can read.
constexpr auto kCountsInterval = std::chrono::milliseconds(100);

}  // namespace

struct TesselProgressData {
    void* jobArgument = nullptr;
    ProgressJob job = nullptr;
    Posix::ProgressMailbox mailbox;
    std::exception_ptr jobError;
    std::atomic<std::thread::id> worker;  // the thread running the job

    // Whether the display is drawn: without it (output to a file, a cron
    // job) an update changes nothing anybody sees and is not worth a round
    // trip to the main thread.
    bool drawn = false;
    // The worker's side: what it last handed over, so that an unchanged
    // value costs no round trip to the main thread.
    std::optional<std::uint32_t> lastPosition;
    std::optional<std::u16string> lastStatus;
    std::chrono::steady_clock::time_point lastCounts;
};

namespace {

ProgressRequest Request(ProgressRequest::Kind kind) {
    ProgressRequest request;
    request.kind = kind;
    return request;
}

// The run whose display is drawn on standard error now, if any.
std::atomic<TesselProgressData*> drawnRun{nullptr};

// Text for standard error from the job goes to the main thread, which puts
// it above the display. Anything else is written directly.
bool WriteAboveDisplay(const std::string& bytes) {
    TesselProgressData* data = drawnRun;
    if (!data || std::this_thread::get_id() != data->worker.load()) return false;
    ProgressRequest request = Request(ProgressRequest::Kind::Text);
    request.text = bytes;
    return data->mailbox.Post(std::move(request));
}

// Routes standard error through the display while it is drawn.
class ErrorTextThroughDisplay {
public:
    ErrorTextThroughDisplay(TesselProgressData& data, bool drawn) : drawn_(drawn) {
        if (!drawn_) return;
        drawnRun = &data;
        Posix::SetErrorTextRoute(WriteAboveDisplay);
    }
    ~ErrorTextThroughDisplay() {
        if (!drawn_) return;
        Posix::SetErrorTextRoute(nullptr);
        drawnRun = nullptr;
    }
    ErrorTextThroughDisplay(const ErrorTextThroughDisplay&) = delete;
    ErrorTextThroughDisplay& operator=(const ErrorTextThroughDisplay&) = delete;

private:
    bool drawn_;
};

ProgressRequest EndRequest(bool failed) {
    ProgressRequest request = Request(ProgressRequest::Kind::End);
    request.failed = failed;
    return request;
}

// Serves requests until the end request; returns its failure flag.
bool ServeUntilEnd(Posix::ProgressMailbox& mailbox, Posix::TerminalDisplay& display) {
    for (;;) {
        ProgressRequest request = mailbox.Take();
        using Kind = ProgressRequest::Kind;
        switch (request.kind) {
            case Kind::Position: display.SetPosition(request.position); break;
            case Kind::Status: display.SetStatus(std::move(request.status)); break;
            case Kind::Counts: display.SetCounts(request.counts); break;
            case Kind::Text: display.WriteAbove(request.text); break;
            case Kind::End: display.Clear(); break;
        }
        const bool end = request.kind == Kind::End;
        mailbox.Served(end);
        if (end) return request.failed;
    }
}

void RunJob(TesselProgressData* data) {
    data->worker = std::this_thread::get_id();
    try {
        data->job(data->jobArgument);
    } catch (...) {
        data->jobError = std::current_exception();
    }
    // A job that forgot to end its run must not leave the main thread
    // waiting; after a proper end this request is dropped.
    data->mailbox.Post(EndRequest(true));
}

// Joins the worker on every way out of Run. Closing the mailbox first
// releases a worker blocked in a request, so the join cannot hang.
class WorkerGuard {
public:
    explicit WorkerGuard(Posix::ProgressMailbox& mailbox) : mailbox_(mailbox) {}
    ~WorkerGuard() {
        mailbox_.Close();
        if (thread.joinable()) thread.join();
    }
    WorkerGuard(const WorkerGuard&) = delete;
    WorkerGuard& operator=(const WorkerGuard&) = delete;

    std::thread thread;

private:
    Posix::ProgressMailbox& mailbox_;
};

}  // namespace

TesselProgress::TesselProgress() : data_(std::make_unique<TesselProgressData>()) {}

TesselProgress::~TesselProgress() = default;

bool TesselProgress::Run(const TesselAppWindows&, const char16_t* title, void* jobArgument, ProgressJob job) {
    TesselProgressData& data = *data_;
    data.jobArgument = jobArgument;
    data.job = job;
    data.jobError = nullptr;

    // The display is up before the worker exists, so its first request is
    // served at once.
    Posix::TerminalDisplay display(title);
    const ErrorTextThroughDisplay errorText(data, display.active());
    bool failed = true;
    {
        WorkerGuard worker(data.mailbox);
        data.mailbox.Open();
        data.lastPosition.reset();
        data.lastStatus.reset();
        data.lastCounts = {};
        data.drawn = display.active();
        worker.thread = StartThread(u"the thread of \"" + std::u16string(title ? title : u"") + u"\"", RunJob, &data);
        failed = ServeUntilEnd(data.mailbox, display);
    }
    // Memory exhaustion on the worker reaches the caller as it would have
    // on the main thread.
    if (data.jobError) std::rethrow_exception(std::exchange(data.jobError, nullptr));
    return !failed;
}

bool ProgressShowsCounts() { return Posix::DisplayWanted(); }

void TesselProgress::SetPosition(std::uint32_t position) {
    if (!data_->drawn || data_->lastPosition == position) return;
    data_->lastPosition = position;
    ProgressRequest request = Request(ProgressRequest::Kind::Position);
    request.position = position;
    data_->mailbox.Post(std::move(request));
}

void TesselProgress::SetStatus(const char16_t* text) {
    if (!data_->drawn) return;
    std::u16string status = text != nullptr ? text : u"";
    if (data_->lastStatus == status) return;
    data_->lastStatus = status;
    ProgressRequest request = Request(ProgressRequest::Kind::Status);
    request.status = std::move(status);
    data_->mailbox.Post(std::move(request));
}

void TesselProgress::SetCounts(const ProgressCounts& counts) {
    if (!data_->drawn) return;
    const auto now = std::chrono::steady_clock::now();
    const bool last = counts.totalsKnown && counts.filesDone >= counts.filesTotal;
    if (!last && now - data_->lastCounts < kCountsInterval) return;
    data_->lastCounts = now;
    ProgressRequest request = Request(ProgressRequest::Kind::Counts);
    request.counts = counts;
    data_->mailbox.Post(std::move(request));
}

void TesselProgress::EndJob(bool failed) { data_->mailbox.Post(EndRequest(failed)); }

}  // namespace TesselLibrary
