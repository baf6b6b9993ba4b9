// The text of the terminal display for any state and width; and the POSIX
// progress runner: a worker joined before Run returns, a job that never ends
// its run, and the display drawn on a terminal.
#include "progress_text.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "text.h"

namespace {

TEST(ProgressTextTest, EachStateAndWidthGivesItsThreeLines) {
    using TesselLibrary::ProgressCounts;
    using Lines = std::array<std::u16string, 3>;
    const auto counts = [](std::uint64_t filesDone, std::uint64_t filesTotal, std::uint64_t bytesDone,
                           std::uint64_t bytesTotal, bool totalsKnown = true) {
        return ProgressCounts{filesDone, filesTotal, bytesDone, bytesTotal, totalsKnown};
    };
    const auto damagedCounts = [](std::uint64_t filesDone, std::uint64_t filesTotal, std::uint64_t damaged) {
        ProgressCounts with{filesDone, filesTotal, 0, 0, true};
        with.damaged = damaged;
        return with;
    };
    const std::u16string title = u"Building MD5 Archive File";
    const std::u16string status = u"/srv/data/photos/";
    struct Case {
        const char* what;
        std::uint32_t position;
        std::optional<ProgressCounts> counts;
        double seconds;
        unsigned columns;
        Lines lines;
    };
    const Case cases[] = {
        {"nothing done", 0, {}, 0, 80, {title, u"[--------------------]   0%", status}},
        {"a cell is 5%", 5, {}, 0, 80, {title, u"[#-------------------]   5%", status}},
        {"99% is not full", 99, {}, 0, 80, {title, u"[###################-]  99%", status}},
        {"past 100% is full", 250, {}, 0, 80, {title, u"[####################] 100%", status}},
        {"totals unknown, nothing measured yet",
         55,
         counts(1, 0, 0, 0, false),
         0.5,
         80,
         {title, u"[###########---------]  55%  1 files, 0.0 MB", status}},
        {"totals unknown, with the rate",
         94,
         counts(1415, 0, 1073800000, 0, false),
         10,
         80,
         {title, u"[##################--]  94%  1,415 files, 1,073.8 MB, 107.4 MB/s", status}},
        {"totals known, no bytes to count",
         60,
         counts(999, 1000, 0, 0),
         3,
         80,
         {title, u"[############--------]  60%  999 of 1,000 files", status}},
        {"under a second: no rate yet",
         57,
         counts(1, 3032, 0, 2147483648),
         0.9,
         80,
         {title, u"[###########---------]  57%  1 of 3,032 files, 0.0 of 2,147.5 MB", status}},
        {"the rate and the time left",
         10,
         counts(1234567, 12345678, 100000000, 2048000000),
         10,
         120,
         {title,
          u"[##------------------]  10%  1,234,567 of 12,345,678 files, 100.0 of 2,048.0 MB, 10.0 MB/s, 3:14 left",
          status}},
        {"all done: no time left",
         100,
         counts(2, 2, 1500000, 1500000),
         2,
         80,
         {title, u"[####################] 100%  2 of 2 files, 1.5 of 1.5 MB, 0.8 MB/s", status}},
        {"damaged files counted",
         50,
         damagedCounts(2, 4, 1234),
         0.5,
         80,
         {title, u"[##########----------]  50%  2 of 4 files, 1,234 damaged", status}},
        {"40 columns cut each line to 39",
         94,
         counts(1415, 3032, 1073800000, 2147483648),
         10,
         40,
         {u"Building MD5 Archive File", u"[##################--]  94%  1,415 of 3", u"/srv/data/photos/"}},
        {"no room at all: one code point", 0, {}, 0, 0, {u"B", u"[", u"/"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TesselLibrary::ProgressState state{title, c.position, status, c.counts, c.seconds};
        const Lines lines = TesselLibrary::ProgressLines(state, c.columns);
        for (std::size_t i = 0; i < lines.size(); ++i) {
            EXPECT_EQ(TesselLibrary::ToSystemBytes(lines[i]), TesselLibrary::ToSystemBytes(c.lines[i])) << "line " << i;
        }
    }
}

// A name must not steer the terminal: control characters are escaped as on
// every line the terminal shows ("\x1b"), an
// unpaired surrogate U+FFFD; a character outside the BMP is one of the
// code points the width counts, never cut in half.
TEST(ProgressTextTest, NamesAreShownPrintableAndCutByCodePoints) {
    const struct {
        std::u16string status;
        unsigned columns;
        std::u16string shown;
    } cases[] = {
        {u"bad\nname\x1B[2Jx\x7F\u0085", 80, u"bad\\x0aname\\x1b[2Jx\\x7f\\u0085"},
        {u"cut\x1B", 6, u"cut\\x"},
        {u"lone \xD800 and \xDC00", 80, u"lone \uFFFD and \uFFFD"},
        {u"caf\u00E9/\U0001F600\U0001F600/", 8, u"caf\u00E9/\U0001F600\U0001F600"},
        {u"\U0001F600abc", 3, u"\U0001F600a"},
    };
    for (const auto& c : cases) {
        TesselLibrary::ProgressState state;
        state.title = c.status;
        state.status = c.status;
        const auto lines = TesselLibrary::ProgressLines(state, c.columns);
        EXPECT_EQ(TesselLibrary::ToSystemBytes(lines[0]), TesselLibrary::ToSystemBytes(c.shown));
        EXPECT_EQ(lines[2], lines[0]);
    }
}

// A path too long for the status line keeps its end, the file's name and
// its folder, and loses its middle; one that fits stays whole.
TEST(ProgressTextTest, ALongPathLosesItsMiddleAndKeepsItsEnd) {
    const struct {
        std::u16string path;
        std::size_t room;  // code units that fit
        std::u16string shown;
    } cases[] = {
        {u"/srv/a/b.txt", 12, u"/srv/a/b.txt"},
        {u"/srv/photos/2019/a_rather_long_folder_name_number_7/img.jpg", 46,
         u"/...a_rather_long_folder_name_number_7/img.jpg"},
        {u"/srv/photos/2019/trip/a_rather_long_folder_name/img.jpg", 45,
         u"/.../trip/a_rather_long_folder_name/img.jpg"},
        {u"/srv/a_rather_long_folder_name_number_seven", 20, u"/...ame_number_seven"},
        {u"relative/name/a_file_with_a_long_name.txt", 20, u"relative/...name.txt"},
        {u"/srv/\U0001F600x/y", 9, u"/...\U0001F600x/y"},
        {u"/srv/\U0001F600x/y", 8, u"/...x/y"},
        {u"abcdef", 4, u"...f"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(TesselLibrary::ToSystemBytes(c.path));
        const std::u16string shown =
            TesselLibrary::PathWithMiddleCut(c.path, [&](const std::u16string& text) { return text.size() <= c.room; });
        EXPECT_EQ(TesselLibrary::ToSystemBytes(shown), TesselLibrary::ToSystemBytes(c.shown));
    }
}

}  // namespace

#ifndef _WIN32

#include "tessel_progress.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tessel_app.h"
#include "text.h"

namespace {

using TesselLibrary::TesselAppWindows;
using TesselLibrary::TesselProgress;
using TesselLibrary::ToSystemBytes;

enum class Ending { Ok, Failed, ReturnWithoutEnd, Throw };

struct EndingJobState {
    TesselProgress* progress = nullptr;
    Ending ending = Ending::Ok;
    std::thread::id thread;
    std::atomic<bool> finished{false};
};

std::uint32_t TESSEL_STDCALL EndingJob(void* argument) {
    auto& state = *static_cast<EndingJobState*>(argument);
    state.thread = std::this_thread::get_id();
    state.progress->SetPosition(0);
    switch (state.ending) {
        case Ending::Ok: state.progress->EndJob(false); break;
        case Ending::Failed: state.progress->EndJob(true); break;
        case Ending::ReturnWithoutEnd: break;
        case Ending::Throw: throw std::bad_alloc();
    }
    // Still busy after ending: Run must wait for the thread, not just the end.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    state.finished = true;
    return 0;
}

TEST(TesselProgressTest, VerdictFollowsHowTheJobEnded) {
    struct Case {
        const char* what;
        Ending ending;
        bool verdict;
    };
    const Case cases[] = {
        {"EndJob(false)", Ending::Ok, true},
        {"EndJob(true)", Ending::Failed, false},
        {"returned without EndJob", Ending::ReturnWithoutEnd, false},
    };
    const TesselAppWindows frame;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TesselProgress progress;
        EndingJobState state;
        state.progress = &progress;
        state.ending = c.ending;
        EXPECT_EQ(progress.Run(frame, u"Job", &state, EndingJob), c.verdict);
        EXPECT_NE(state.thread, std::thread::id());
        EXPECT_NE(state.thread, std::this_thread::get_id());
        EXPECT_TRUE(state.finished) << "the worker outlived Run";
    }
}

TEST(TesselProgressTest, MemoryExhaustionInTheJobReachesTheCaller) {
    const TesselAppWindows frame;
    TesselProgress progress;
    EndingJobState state;
    state.progress = &progress;
    state.ending = Ending::Throw;
    EXPECT_THROW(progress.Run(frame, u"Job", &state, EndingJob), std::bad_alloc);
    // The object stays usable.
    state.ending = Ending::Ok;
    EXPECT_TRUE(progress.Run(frame, u"Job", &state, EndingJob));
}

TEST(TesselProgressTest, RunsAgainOnTheSameObject) {
    const TesselAppWindows frame;
    TesselProgress progress;
    // Updates outside a run have nobody to serve them and must not block.
    progress.SetPosition(5);
    progress.SetStatus(u"nobody");
    progress.EndJob(false);

    const Ending endings[] = {Ending::Failed, Ending::Ok, Ending::ReturnWithoutEnd, Ending::Ok};
    for (Ending ending : endings) {
        EndingJobState state;
        state.progress = &progress;
        state.ending = ending;
        EXPECT_EQ(progress.Run(frame, u"Again", &state, EndingJob), ending == Ending::Ok);
    }
}

// The display as a person at a terminal sees it: the output read from a
// pseudo-terminal is replayed on a small screen model, so the checks are
// about what is shown, not about the exact escape sequences.

// Rows are counted from the line where the display started; the model
// understands carriage return, line feed, cursor up and the erase commands.
class Screen {
public:
    explicit Screen(int columns) : columns_(columns) {}

    void Feed(const std::string& bytes) {
        for (const char ch : bytes) Feed(static_cast<unsigned char>(ch));
    }

    // The row's text without trailing blanks.
    std::string Row(int row) const {
        if (row < 0 || row >= static_cast<int>(lines_.size())) return "";
        std::string text;
        for (const std::string& cell : lines_[row]) text += cell.empty() ? " " : cell;
        while (!text.empty() && text.back() == ' ') text.pop_back();
        return text;
    }
    int RowCount() const { return static_cast<int>(lines_.size()); }
    int row() const { return row_; }
    int column() const { return column_; }
    bool wentAboveStart() const { return wentAbove_; }
    const std::string& unknown() const { return unknown_; }

private:
    void Feed(unsigned char ch) {
        if (state_ == State::Escape) {
            state_ = ch == '[' ? State::Csi : State::Text;
            if (ch != '[') unknown_ += "ESC " + std::string(1, static_cast<char>(ch)) + ";";
            return;
        }
        if (state_ == State::Csi) {
            if (ch >= '0' && ch <= '9') {
                parameter_ = parameter_ * 10 + (ch - '0');
                return;
            }
            Command(static_cast<char>(ch));
            state_ = State::Text;
            parameter_ = 0;
            return;
        }
        if (ch == 0x1B) {
            state_ = State::Escape;
        } else if (ch == '\r') {
            column_ = 0;
        } else if (ch == '\n') {
            ++row_;
        } else if (ch < 0x20 || ch == 0x7F) {
            unknown_ += "control " + std::to_string(ch) + ";";
        } else if ((ch & 0xC0) == 0x80 && lastRow_ >= 0) {
            Cell(lastRow_, lastColumn_) += static_cast<char>(ch);  // continues the previous character
        } else {
            if (column_ >= columns_) {  // the terminal wraps
                column_ = 0;
                ++row_;
            }
            lastRow_ = row_;
            lastColumn_ = column_++;
            Cell(lastRow_, lastColumn_) = std::string(1, static_cast<char>(ch));
        }
    }

    void Command(char final) {
        lastRow_ = -1;
        switch (final) {
            case 'A':
                row_ -= parameter_ == 0 ? 1 : parameter_;
                if (row_ < 0) {
                    wentAbove_ = true;
                    row_ = 0;
                }
                break;
            case 'K':
                if (parameter_ == 2 && row_ < RowCount())
                    lines_[row_].clear();
                else if (parameter_ == 0 && row_ < RowCount() && column_ < static_cast<int>(lines_[row_].size()))
                    lines_[row_].resize(column_);
                break;
            case 'J':
                if (row_ < RowCount()) {
                    if (column_ < static_cast<int>(lines_[row_].size())) lines_[row_].resize(column_);
                    for (int r = row_ + 1; r < RowCount(); ++r) lines_[r].clear();
                }
                break;
            default: unknown_ += "CSI " + std::string(1, final) + ";";
        }
    }

    std::string& Cell(int row, int column) {
        if (row >= RowCount()) lines_.resize(row + 1);
        if (column >= static_cast<int>(lines_[row].size())) lines_[row].resize(column + 1);
        return lines_[row][column];
    }

    enum class State { Text, Escape, Csi };
    int columns_;
    std::vector<std::vector<std::string>> lines_;
    int row_ = 0;
    int column_ = 0;
    bool wentAbove_ = false;
    int lastRow_ = -1;  // the cell a UTF-8 continuation byte belongs to
    int lastColumn_ = 0;
    State state_ = State::Text;
    int parameter_ = 0;
    std::string unknown_;
};

// Standard error goes to `fd` for the life of the object.
class StderrTo {
public:
    explicit StderrTo(int fd) {
        std::fflush(stderr);
        saved_ = dup(STDERR_FILENO);
        dup2(fd, STDERR_FILENO);
    }
    ~StderrTo() {
        dup2(saved_, STDERR_FILENO);
        close(saved_);
    }
    StderrTo(const StderrTo&) = delete;
    StderrTo& operator=(const StderrTo&) = delete;

private:
    int saved_;
};

// TERM set (or removed) for the life of the object.
class TermIs {
public:
    explicit TermIs(const char* value) {
        if (const char* old = getenv("TERM")) old_ = old;
        if (value != nullptr)
            setenv("TERM", value, 1);
        else
            unsetenv("TERM");
    }
    ~TermIs() {
        if (old_)
            setenv("TERM", old_->c_str(), 1);
        else
            unsetenv("TERM");
    }
    TermIs(const TermIs&) = delete;
    TermIs& operator=(const TermIs&) = delete;

private:
    std::optional<std::string> old_;
};

// Everything already written to `fd` (non-blocking), as bytes.
std::string Drain(int fd) {
    std::string bytes;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n > 0)
            bytes.append(buffer, static_cast<std::size_t>(n));
        else if (n < 0 && errno == EINTR)
            continue;
        else
            return bytes;
    }
}

class Pty {
public:
    explicit Pty(unsigned short columns) {
        winsize size{};
        size.ws_row = 24;
        size.ws_col = columns;
        if (openpty(&master, &slave, nullptr, nullptr, &size) == 0) {
            fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
        }
    }
    ~Pty() {
        if (master >= 0) close(master);
        if (slave >= 0) close(slave);
    }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    int master = -1;
    int slave = -1;
};

// One call of the job and what the screen must show once it has returned.
struct Step {
    enum Kind { Position, Status, End } kind;
    std::uint32_t position = 0;
    std::u16string status;
    std::string bar;          // row 1; empty: not checked
    std::string shownStatus;  // row 2; empty: not checked
};

struct ScriptedJob {
    TesselProgress* progress = nullptr;
    int master = -1;
    Screen* screen = nullptr;
    const std::vector<Step>* steps = nullptr;
    // The screen after the display came up, and after each step returned.
    std::vector<std::vector<std::string>> seen;
    std::vector<int> cursorRows;

    // Runs on the worker. The main thread's write has completed before an
    // update returns, so whatever it drew is already readable here.
    void Look() {
        screen->Feed(Drain(master));
        seen.push_back({screen->Row(0), screen->Row(1), screen->Row(2), screen->Row(3)});
        cursorRows.push_back(screen->row());
    }
};

std::uint32_t RunScript(void* argument) {
    auto& job = *static_cast<ScriptedJob*>(argument);
    job.Look();
    for (const Step& step : *job.steps) {
        switch (step.kind) {
            case Step::Position: job.progress->SetPosition(step.position); break;
            case Step::Status: job.progress->SetStatus(step.status.c_str()); break;
            case Step::End: job.progress->EndJob(false); break;
        }
        job.Look();
    }
    return 0;
}

constexpr unsigned short kColumns = 40;

TEST(TesselProgressTerminalTest, ShowsEveryUpdateBeforeTheJobGoesOn) {
    Pty pty(kColumns);
    ASSERT_GE(pty.master, 0);
    const TermIs term("xterm");
    Screen screen(kColumns);
    TesselProgress progress;
    const TesselAppWindows frame;

    const std::u16string longStatus(100, u'\u00E9');
    const std::vector<Step> script = {
        {Step::Position, 0, u"", "[--------------------]   0%", ""},
        {Step::Position, 5, u"", "[#-------------------]   5%", ""},
        {Step::Position, 15, u"", "[###-----------------]  15%", ""},
        {Step::Status, 0, u"/some/folder/", "[###-----------------]  15%", "/some/folder/"},
        {Step::Position, 20, u"", "[####----------------]  20%", "/some/folder/"},
        {Step::Position, 60, u"", "[############--------]  60%", "/some/folder/"},
        {Step::Position, 250, u"", "[####################] 100%", "/some/folder/"},
        {Step::Position, 99, u"", "[###################-]  99%", "/some/folder/"},
        {Step::Status, 0, u"caf\u00E9/\u0444\u0430\u0439\u043B/", "", "caf\u00E9/\u0444\u0430\u0439\u043B/"},
        {Step::Status, 0, u"bad\nname\x1B[2Jx", "", "bad\\x0aname\\x1b[2Jx"},
        {Step::Status, 0, longStatus, "", ""},
        {Step::End, 0, u"", "", ""},
    };
    const std::size_t longStep = script.size() - 2;

    ScriptedJob job;
    job.progress = &progress;
    job.master = pty.master;
    job.screen = &screen;
    job.steps = &script;
    {
        const StderrTo redirect(pty.slave);
        EXPECT_TRUE(progress.Run(frame, u"Building MD5 Archive File", &job, RunScript));
    }
    screen.Feed(Drain(pty.master));

    ASSERT_EQ(job.seen.size(), script.size() + 1);
    // The display is up before the job's first instruction.
    EXPECT_EQ(job.seen[0][0], "Building MD5 Archive File");
    EXPECT_EQ(job.seen[0][1], "[--------------------]   0%");
    for (std::size_t i = 0; i + 1 < script.size(); ++i) {
        SCOPED_TRACE("step " + std::to_string(i));
        const std::vector<std::string>& rows = job.seen[i + 1];
        EXPECT_EQ(rows[0], "Building MD5 Archive File");
        if (!script[i].bar.empty()) {
            EXPECT_EQ(rows[1], script[i].bar);
        }
        if (!script[i].shownStatus.empty()) {
            EXPECT_EQ(rows[2], script[i].shownStatus);
        }
        EXPECT_EQ(rows[3], "") << "the display grew past three lines";
        EXPECT_EQ(job.cursorRows[i + 1], 2);
    }
    // The long status is cut to the width: a prefix that fits on one line.
    const std::string shownLong = job.seen[longStep + 1][2];
    const std::string fullLong = ToSystemBytes(longStatus);
    EXPECT_EQ(fullLong.compare(0, shownLong.size(), shownLong), 0);
    EXPECT_GE(shownLong.size(), 2u * (kColumns / 2));
    EXPECT_LE(shownLong.size(), 2u * kColumns);

    // By the time EndJob returns, everything is erased and the cursor is back
    // where the display started.
    EXPECT_EQ(job.seen.back(), std::vector<std::string>(4));
    EXPECT_EQ(job.cursorRows.back(), 0);
    for (int row = 0; row < screen.RowCount(); ++row) EXPECT_EQ(screen.Row(row), "") << "row " << row;
    EXPECT_EQ(screen.row(), 0);
    EXPECT_EQ(screen.column(), 0);
    EXPECT_FALSE(screen.wentAboveStart());
    EXPECT_EQ(screen.unknown(), "");
}

TEST(TesselProgressTerminalTest, EachRunShowsItsOwnTitle) {
    Pty pty(kColumns);
    ASSERT_GE(pty.master, 0);
    const TermIs term("xterm");
    Screen screen(kColumns);
    TesselProgress progress;
    const TesselAppWindows frame;
    const std::vector<Step> script = {{Step::Position, 0, u"", "", ""}, {Step::End, 0, u"", "", ""}};

    const char16_t* titles[] = {u"First job", u"Second job"};
    for (const char16_t* title : titles) {
        ScriptedJob job;
        job.progress = &progress;
        job.master = pty.master;
        job.screen = &screen;
        job.steps = &script;
        {
            const StderrTo redirect(pty.slave);
            EXPECT_TRUE(progress.Run(frame, title, &job, RunScript));
        }
        screen.Feed(Drain(pty.master));
        ASSERT_EQ(job.seen.size(), 3u);
        EXPECT_EQ(job.seen[0][0], ToSystemBytes(title));
        EXPECT_EQ(job.seen[2][0], "") << "EndJob returned before the display was cleared";
        EXPECT_EQ(screen.row(), 0);
    }
}

std::uint32_t QuietJob(void* argument) {
    auto& progress = *static_cast<TesselProgress*>(argument);
    progress.SetPosition(0);
    progress.SetStatus(u"/some/folder/");
    progress.SetPosition(60);
    progress.EndJob(false);
    return 0;
}

TEST(TesselProgressTerminalTest, DrawsOnlyOnATerminalThatCanMoveTheCursor) {
    struct Case {
        const char* what;
        bool terminal;
        const char* term;
        bool drawn;
    };
    const Case cases[] = {
        {"pipe", false, "xterm", false},
        {"terminal without TERM", true, nullptr, false},
        {"terminal with empty TERM", true, "", false},
        {"dumb terminal", true, "dumb", false},
        {"xterm", true, "xterm", true},
    };
    const TesselAppWindows frame;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Pty pty(kColumns);
        ASSERT_GE(pty.master, 0);
        int pipeEnds[2];
        ASSERT_EQ(pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK), 0);
        const TermIs term(c.term);
        TesselProgress progress;
        {
            const StderrTo redirect(c.terminal ? pty.slave : pipeEnds[1]);
            EXPECT_TRUE(progress.Run(frame, u"Verifying", &progress, QuietJob));
        }
        close(pipeEnds[1]);
        const std::string written = Drain(c.terminal ? pty.master : pipeEnds[0]);
        close(pipeEnds[0]);
        if (c.drawn) {
            EXPECT_NE(written.find("Verifying"), std::string::npos);
            EXPECT_NE(written.find("/some/folder/"), std::string::npos);
            EXPECT_NE(written.find(" 60%"), std::string::npos);
        } else {
            EXPECT_EQ(written.size(), 0u) << written;
        }
    }
}

}  // namespace

#endif  // _WIN32
