// The run's log: UTF-16LE lines without byte-order mark, each prefixed with
// "[YYYY-MM-DD HH:MM:SS] " from the local time. A line's pieces are
// gathered and the whole line appended in one write when it ends (the file
// opened and closed for it), so the file holds whole lines only: a line that
// cannot be written whole (a full disk) is cut off again, and goes to
// standard error as every line does that cannot reach the file.
// When the program asks for it (RepeatOnStandardError), each completed line
// is also written to standard error, once, as the system's text. In the
// window program, which has no standard error anyone reads, what it says
// there goes into its open log as lines of their own, and what cannot reach
// that log into the log of such lines (WriteUnheardLine).
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "local_time.h"

namespace TesselLibrary {

// "[YYYY-MM-DD HH:MM:SS] " (22 code units while the year has four digits).
std::u16string LogLinePrefix(const TesselDateTime& when);

// A line of the window program (StandardErrorUnheard, console.h) that no
// log of a run takes: appended, with its time stamp, to "SumvaneW.txt" on
// the desktop (else in the temporary folder), where its user finds it.
void WriteUnheardLine(const std::u16string& line);

struct TesselLogData;

class TesselLog {
public:
    TesselLog();
    ~TesselLog();
    TesselLog(const TesselLog&) = delete;
    TesselLog& operator=(const TesselLog&) = delete;

    // Empty name: the log closes and drops every write. Otherwise fixes the
    // path (on the desktop when `onDesktop`) and deletes an older log there:
    // only a file that is empty or starts with the log's "[" is taken for
    // one. Anything else at the path is left untouched. An old log that
    // another program holds open (on Windows, a viewer) and that can be
    // opened for writing is emptied instead, and this run's lines go into it
    // from its start. One that can be neither removed nor emptied is left as
    // it is; this run's lines then go to standard error, as a one-line
    // notice there says.
    void Open(const std::u16string& fileName, bool onDesktop);
    // Every line also goes to standard error, not only one that could not
    // reach the file.
    void RepeatOnStandardError(bool repeat);
    void Write(const std::u16string& text);
    void Write(const char16_t* text);
    void WriteLine(const std::u16string& text);
    void WriteLine(const char16_t* text);

    const std::u16string& path() const;
    // Some line did not reach the log file (it went to standard error
    // instead, with the same text).
    bool failed() const;
    // The lines completed so far, and how many of them did not reach the
    // log file.
    std::size_t lineCount() const;
    std::size_t lostLineCount() const;

private:
    std::unique_ptr<TesselLogData> data_;
};

}  // namespace TesselLibrary
