// POSIX backend, private: the progress display drawn on standard error,
// three lines (title, bar, status) redrawn in place, where a person watches:
// a terminal that understands cursor movement. Elsewhere nothing is drawn.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "progress_text.h"

namespace TesselLibrary::Posix {

// Standard error is a terminal, and TERM names one that moves the cursor.
bool DisplayWanted();

class TerminalDisplay {
public:
    // Drawn at once when DisplayWanted().
    explicit TerminalDisplay(const char16_t* title);
    ~TerminalDisplay() { Clear(); }
    TerminalDisplay(const TerminalDisplay&) = delete;
    TerminalDisplay& operator=(const TerminalDisplay&) = delete;

    void SetPosition(std::uint32_t position);
    void SetStatus(std::u16string status);
    // The first counts start the clock the rate is measured by.
    void SetCounts(const ProgressCounts& counts);
    // Erases the three lines and leaves the cursor where the display began.
    void Clear();
    // Text for standard error, put where the display was; the display is
    // drawn again below it.
    void WriteAbove(const std::string& bytes);

    // Drawn, and still to be drawn: standard error works and no interrupt
    // has erased it.
    bool active() const { return active_; }

private:
    void Draw(bool redraw);
    void Write(std::string_view bytes, bool drawn);

    ProgressState state_;
    std::chrono::steady_clock::time_point started_;
    bool active_ = false;
};

// For the interrupt: erases the display if it is drawn, and keeps it from
// being drawn again, so that what follows starts where it began.
void EraseProgressDisplay();

}  // namespace TesselLibrary::Posix
