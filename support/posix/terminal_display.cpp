// Drawing the progress display with cursor movements, and erasing it for the
// interrupt without ever cutting a drawing in half.
#include "terminal_display.h"

#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <string_view>
#include <utility>

#include "console.h"
#include "file_descriptor.h"
#include "text.h"

namespace TesselLibrary::Posix {

namespace {

constexpr unsigned kDefaultColumns = 80;

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

unsigned Columns() {
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return kDefaultColumns;
}

}  // namespace

bool DisplayWanted() {
    const char* term = ::getenv("TERM");
    return StandardErrorIsTerminal() && term != nullptr && *term != '\0' && ::strcmp(term, "dumb") != 0;
}

TerminalDisplay::TerminalDisplay(const char16_t* title) {
    state_.title = title != nullptr ? title : u"";
    active_ = DisplayWanted();
    if (active_) Draw(false);
}

void TerminalDisplay::SetPosition(std::uint32_t position) {
    if (position == state_.position) return;
    state_.position = position;
    if (active_) Draw(true);
}

void TerminalDisplay::SetStatus(std::u16string status) {
    if (status == state_.status) return;
    state_.status = std::move(status);
    if (active_) Draw(true);
}

void TerminalDisplay::SetCounts(const ProgressCounts& counts) {
    if (!state_.counts) started_ = std::chrono::steady_clock::now();
    state_.counts = counts;
    if (active_) Draw(true);
}

void TerminalDisplay::Clear() {
    if (!active_) return;
    Write(kErase, false);
    active_ = false;
}

void TerminalDisplay::WriteAbove(const std::string& bytes) {
    const bool wasActive = active_;
    Clear();
    Write(bytes, false);
    active_ = wasActive && !TheScreen().erased;
    if (active_) Draw(false);
}

void TerminalDisplay::Draw(bool redraw) {
    if (state_.counts) {
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started_;
        state_.seconds = elapsed.count();
    }
    const std::array<std::u16string, 3> lines = ProgressLines(state_, Columns());
    std::string text = redraw ? "\r\x1b[2A" : "\r";
    text += "\x1b[2K" + ToSystemBytes(lines[0]) + "\n";
    text += "\x1b[2K" + ToSystemBytes(lines[1]) + "\n";
    text += "\x1b[2K" + ToSystemBytes(lines[2]);
    Write(text, true);
}

// `drawn`: the display's lines are on the screen once `bytes` are.
void TerminalDisplay::Write(std::string_view bytes, bool drawn) {
    Screen& screen = TheScreen();
    std::lock_guard<std::timed_mutex> lock(screen.mutex);
    if (screen.erased) {
        active_ = false;  // the run is ending on an interrupt
        return;
    }
    if (!WriteAll(STDERR_FILENO, bytes)) active_ = false;  // the terminal went away; stop drawing
    screen.drawn = drawn && active_;
}

void EraseProgressDisplay() {
    Screen& screen = TheScreen();
    // A terminal that does not take output (held by Ctrl+S) may keep the
    // display's write, and the lock, for ever: then erase all the same.
    // The lock stays taken, as nothing is to be drawn any more.
    [[maybe_unused]] const bool locked = screen.mutex.try_lock_for(std::chrono::milliseconds(500));
    screen.erased = true;
    if (screen.drawn.exchange(false)) WriteAll(STDERR_FILENO, kErase);
}

}  // namespace TesselLibrary::Posix
