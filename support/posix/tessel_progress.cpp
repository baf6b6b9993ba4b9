// The progress runner on a terminal: the main thread draws a three-line
// display on standard error and serves the worker's requests one at a time;
// the worker blocks in every request until the main thread has applied it.
#include "tessel_progress.h"

#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>

#include "file_descriptor.h"
#include "standard_error.h"
#include "text.h"

namespace TesselLibrary {

namespace {

enum class RequestKind { Position, Status, Counts, Text, End };

struct Request {
    RequestKind kind = RequestKind::Position;
    std::uint32_t position = 0;
    std::u16string status;  // a copy: the job's buffer may change right after
    bool failed = false;
    std::string text;       // for Text: bytes for standard error
    ProgressCounts counts;
};

// Counts change with every file; more redraws than this nobody can read.
constexpr auto kCountsInterval = std::chrono::milliseconds(100);

constexpr int kBarCells = 20;
constexpr unsigned kDefaultColumns = 80;

// The text as one printable terminal line of at most `limit` code points:
// control characters (a newline or an escape in a file name) would break the
// display or steer the terminal, and unpaired surrogates have no glyph.
std::u16string PrintableLine(std::u16string_view text, unsigned limit) {
    std::u16string line;
    unsigned count = 0;
    for (std::size_t i = 0; i < text.size() && count < limit; ++count) {
        const char32_t point = NextCodePoint(text, i);
        if (IsSurrogate(point)) {
            line += u'\uFFFD';
        } else if (point < 0x20 || (point >= 0x7F && point <= 0x9F)) {
            line += u'?';
        } else {
            AppendUtf16(line, point);
        }
    }
    return line;
}

// "12,345" for 12345.
std::string Grouped(std::uint64_t value) {
    std::string digits = std::to_string(value);
    for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, ",");
    return digits;
}

std::string Megabytes(std::uint64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", static_cast<double>(bytes) / 1e6);
    return text;
}

// "1,234 of 20,000 files, 512.0 of 2,048.0 MB, 350.2 MB/s, 0:12 left"; the
// rate and the time left once there is something to measure them by. While
// the totals are not known: "1,234 files, 512.0 MB, 350.2 MB/s".
std::string CountsText(const ProgressCounts& counts, double seconds) {
    if (!counts.totalsKnown) {
        std::string text = Grouped(counts.filesDone) + " files, " + Megabytes(counts.bytesDone) + " MB";
        if (seconds >= 1 && counts.bytesDone > 0)
            text += ", " + Megabytes(static_cast<std::uint64_t>(static_cast<double>(counts.bytesDone) / seconds)) +
                    " MB/s";
        return text;
    }
    std::string text = Grouped(counts.filesDone) + " of " + Grouped(counts.filesTotal) + " files";
    if (counts.bytesTotal > 0) text += ", " + Megabytes(counts.bytesDone) + " of " + Megabytes(counts.bytesTotal) + " MB";
    if (seconds >= 1 && counts.bytesDone > 0) {
        const double rate = static_cast<double>(counts.bytesDone) / seconds;
        text += ", " + Megabytes(static_cast<std::uint64_t>(rate)) + " MB/s";
        if (counts.bytesTotal > counts.bytesDone) {
            const auto left = static_cast<std::uint64_t>(static_cast<double>(counts.bytesTotal - counts.bytesDone) / rate);
            char time[32];
            std::snprintf(time, sizeof time, ", %llu:%02llu left", static_cast<unsigned long long>(left / 60),
                          static_cast<unsigned long long>(left % 60));
            text += time;
        }
    }
    return text;
}

std::u16string BarLine(std::uint32_t position) {
    const std::uint32_t percent = position > 100 ? 100 : position;
    const int filled = static_cast<int>(percent) * kBarCells / 100;
    std::u16string line = u"[";
    line.append(static_cast<std::size_t>(filled), u'#');
    line.append(static_cast<std::size_t>(kBarCells - filled), u'-');
    char number[8];
    std::snprintf(number, sizeof number, "] %3u%%", static_cast<unsigned>(percent));
    for (const char* c = number; *c != '\0'; ++c) line += static_cast<char16_t>(*c);
    return line;
}

// Erases the three lines from the end of the last and leaves the cursor
// where the display began.
constexpr std::string_view kErase = "\r\x1b[2A\x1b[2K\n\x1b[2K\n\x1b[2K\r\x1b[2A";

// What is on the terminal, shared with the interrupt: the display writes
// holding the lock, so the interrupt never erases half a drawing.
struct Screen {
    std::timed_mutex mutex;
    std::atomic<bool> drawn{false};   // the display's lines are there
    std::atomic<bool> erased{false};  // the interrupt erased them for good
};

// Never destroyed: an interrupt may arrive while the process is ending.
Screen& TheScreen() {
    static Screen& screen = *new Screen;
    return screen;
}

bool DisplayWanted() {
    const char* term = getenv("TERM");
    return isatty(STDERR_FILENO) == 1 && term != nullptr && *term != '\0' && strcmp(term, "dumb") != 0;
}

// Title, bar and status on standard error, drawn only where a person watches:
// a terminal that understands cursor movement. Otherwise it writes nothing.
class TerminalDisplay {
public:
    explicit TerminalDisplay(const char16_t* title) : title_(title != nullptr ? title : u"") {
        active_ = DisplayWanted();
        if (active_) Draw(false);
    }
    ~TerminalDisplay() { Clear(); }
    TerminalDisplay(const TerminalDisplay&) = delete;
    TerminalDisplay& operator=(const TerminalDisplay&) = delete;

    void SetPosition(std::uint32_t position) {
        if (position == position_) return;
        position_ = position;
        if (active_) Draw(true);
    }

    void SetStatus(std::u16string status) {
        if (status == status_) return;
        status_ = std::move(status);
        if (active_) Draw(true);
    }

    void SetCounts(const ProgressCounts& counts) {
        if (!countsShown_) started_ = std::chrono::steady_clock::now();
        countsShown_ = true;
        counts_ = counts;
        if (active_) Draw(true);
    }

    // Erases the three lines and leaves the cursor where the display began.
    void Clear() {
        if (!active_) return;
        Write(kErase, false);
        active_ = false;
    }

    // Text for standard error, put where the display was; the display is
    // drawn again below it.
    void WriteAbove(const std::string& bytes) {
        const bool wasActive = active_;
        Clear();
        Write(bytes, false);
        active_ = wasActive && !TheScreen().erased;
        if (active_) Draw(false);
    }

    bool active() const { return active_; }

private:
    static unsigned Columns() {
        winsize size {};
        if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
        return kDefaultColumns;
    }

    void Draw(bool redraw) {
        // One column is left free: a line that fills the last column makes
        // some terminals wrap, and the cursor movement would then be off.
        const unsigned columns = Columns();
        const unsigned limit = columns > 1 ? columns - 1 : 1;
        std::string text = redraw ? "\r\x1b[2A" : "\r";
        text += "\x1b[2K" + ToSystemBytes(PrintableLine(title_, limit)) + "\n";
        std::u16string bar = BarLine(position_);
        if (countsShown_) {
            const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started_;
            bar += u"  " + FromSystemBytes(CountsText(counts_, elapsed.count()));
        }
        text += "\x1b[2K" + ToSystemBytes(PrintableLine(bar, limit)) + "\n";
        text += "\x1b[2K" + ToSystemBytes(PrintableLine(status_, limit));
        Write(text, true);
    }

    // `drawn`: the display's lines are on the screen once `bytes` are.
    void Write(std::string_view bytes, bool drawn) {
        Screen& screen = TheScreen();
        std::lock_guard<std::timed_mutex> lock(screen.mutex);
        if (screen.erased) {
            active_ = false;  // the run is ending on an interrupt
            return;
        }
        if (!Posix::WriteAll(STDERR_FILENO, bytes)) active_ = false;  // the terminal went away; stop drawing
        screen.drawn = drawn && active_;
    }

    std::u16string title_;
    std::u16string status_;
    std::uint32_t position_ = 0;
    ProgressCounts counts_;
    bool countsShown_ = false;
    std::chrono::steady_clock::time_point started_;
    bool active_ = false;
};



}  // namespace

struct TesselProgressData {
    void* jobArgument = nullptr;
    ProgressJob job = nullptr;

    std::mutex mutex;
    std::condition_variable changed;
    std::optional<Request> mailbox;  // the one request waiting for the main thread
    std::uint64_t posted = 0;
    std::uint64_t served = 0;
    bool accepting = false;  // a run is serving requests and has not ended
    std::exception_ptr jobError;
    std::atomic<std::thread::id> worker;  // the thread running the job

    // The worker's side: what it last handed over, so that an unchanged
    // value costs no round trip to the main thread.
    std::optional<std::uint32_t> lastPosition;
    std::optional<std::u16string> lastStatus;
    std::chrono::steady_clock::time_point lastCounts;
};

namespace {

// Hands one request to the main thread and waits until it has been applied;
// true when it was. Outside a run, or after the run has ended, the request
// is dropped.
bool Post(TesselProgressData& data, Request request) {
    std::unique_lock<std::mutex> lock(data.mutex);
    data.changed.wait(lock, [&] { return !data.mailbox || !data.accepting; });
    if (!data.accepting) return false;
    data.mailbox = std::move(request);
    const std::uint64_t ticket = ++data.posted;
    data.changed.notify_all();
    data.changed.wait(lock, [&] { return data.served >= ticket || !data.accepting; });
    return data.served >= ticket;
}

// The run whose display is drawn on standard error now, if any.
std::atomic<TesselProgressData*> drawnRun{nullptr};

// Text for standard error from the job goes to the main thread, which puts
// it above the display. Anything else is written directly.
bool WriteAboveDisplay(const std::string& bytes) {
    TesselProgressData* data = drawnRun;
    if (!data || std::this_thread::get_id() != data->worker.load()) return false;
    return Post(*data, Request{RequestKind::Text, 0, {}, false, bytes, {}});
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

// Serves requests until the end request; returns its failure flag.
bool ServeUntilEnd(TesselProgressData& data, TerminalDisplay& display) {
    for (;;) {
        Request request;
        {
            std::unique_lock<std::mutex> lock(data.mutex);
            data.changed.wait(lock, [&] { return data.mailbox.has_value(); });
            request = std::move(*data.mailbox);
            data.mailbox.reset();
        }
        switch (request.kind) {
        case RequestKind::Position: display.SetPosition(request.position); break;
        case RequestKind::Status: display.SetStatus(std::move(request.status)); break;
        case RequestKind::Counts: display.SetCounts(request.counts); break;
        case RequestKind::Text: display.WriteAbove(request.text); break;
        case RequestKind::End: display.Clear(); break;
        }
        std::lock_guard<std::mutex> lock(data.mutex);
        ++data.served;
        if (request.kind == RequestKind::End) data.accepting = false;
        data.changed.notify_all();
        if (request.kind == RequestKind::End) return request.failed;
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
    Post(*data, Request{RequestKind::End, 0, {}, true, {}, {}});
}

// Joins the worker on every way out of Run. Stopping the service first
// releases a worker blocked in a request, so the join cannot hang.
class WorkerGuard {
public:
    explicit WorkerGuard(TesselProgressData& data) : data_(data) {}
    ~WorkerGuard() {
        {
            std::lock_guard<std::mutex> lock(data_.mutex);
            data_.accepting = false;
            data_.mailbox.reset();
            data_.changed.notify_all();
        }
        if (thread.joinable()) thread.join();
    }
    WorkerGuard(const WorkerGuard&) = delete;
    WorkerGuard& operator=(const WorkerGuard&) = delete;

    std::thread thread;

private:
    TesselProgressData& data_;
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
    TerminalDisplay display(title);
    const ErrorTextThroughDisplay errorText(data, display.active());
    bool failed = true;
    {
        WorkerGuard worker(data);
        {
            std::lock_guard<std::mutex> lock(data.mutex);
            data.mailbox.reset();
            data.posted = 0;
            data.served = 0;
            data.accepting = true;
            data.lastPosition.reset();
            data.lastStatus.reset();
            data.lastCounts = {};
        }
        try {
            worker.thread = std::thread(RunJob, &data);
        } catch (const std::system_error&) {
            return false;
        }
        failed = ServeUntilEnd(data, display);
    }
    // Memory exhaustion on the worker reaches the caller as it would have
    // on the main thread.
    if (data.jobError) std::rethrow_exception(std::exchange(data.jobError, nullptr));
    return !failed;
}

bool ProgressShowsCounts() { return DisplayWanted(); }

void Posix::EraseProgressDisplay() {
    Screen& screen = TheScreen();
    // A terminal that does not take output (held by Ctrl+S) may keep the
    // display's write, and the lock, for ever: then erase all the same.
    // The lock stays taken, as nothing is to be drawn any more.
    [[maybe_unused]] const bool locked = screen.mutex.try_lock_for(std::chrono::milliseconds(500));
    screen.erased = true;
    if (screen.drawn.exchange(false)) Posix::WriteAll(STDERR_FILENO, kErase);
}

void TesselProgress::SetPosition(std::uint32_t position) {
    if (data_->lastPosition == position) return;
    data_->lastPosition = position;
    Post(*data_, Request{RequestKind::Position, position, {}, false, {}, {}});
}

void TesselProgress::SetStatus(const char16_t* text) {
    std::u16string status = text != nullptr ? text : u"";
    if (data_->lastStatus == status) return;
    data_->lastStatus = status;
    Post(*data_, Request{RequestKind::Status, 0, std::move(status), false, {}, {}});
}

void TesselProgress::SetCounts(const ProgressCounts& counts) {
    const auto now = std::chrono::steady_clock::now();
    const bool last = counts.totalsKnown && counts.filesDone >= counts.filesTotal;
    if (!last && now - data_->lastCounts < kCountsInterval) return;
    data_->lastCounts = now;
    Post(*data_, Request{RequestKind::Counts, 0, {}, false, {}, counts});
}

void TesselProgress::EndJob(bool failed) {
    Post(*data_, Request{RequestKind::End, 0, {}, failed, {}, {}});
}

}  // namespace TesselLibrary
