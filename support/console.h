// The process's console, command line and signals.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace TesselLibrary {

// Called first by the entry point with the arguments it was handed, before
// any other thread exists. POSIX: keeps the arguments (nothing else needs
// to be readable, /proc included); ignores SIGPIPE and SIGXFSZ, so a closed
// output or a file-size limit becomes a write error that is reported; and
// turns SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGALRM, SIGUSR1 and SIGUSR2 into
// the interrupt action (interrupt_action.h), removing the temporary files
// of unfinished replacements, erasing the
// progress display and writing the interrupt notice, then exit code 1.
// Windows: the same for Ctrl+C, Ctrl+Break and closing the console; the
// arguments are not used, since the command line is read whole as UTF-16
// (ProcessCommandLine).
void PrepareProcess(int argc, char** argv);

// The line an interrupt writes on standard error (without its line end) for
// as long as the object lives: what the run leaves as it was at that stage.
// Empty, nothing is written. When it goes, the line of the scope around it
// is back.
class InterruptNoticeScope {
public:
    explicit InterruptNoticeScope(const std::u16string& line);
    ~InterruptNoticeScope();
    InterruptNoticeScope(const InterruptNoticeScope&) = delete;
    InterruptNoticeScope& operator=(const InterruptNoticeScope&) = delete;

private:
    std::u16string previous_;
};

// Lets go of a console that no other process shares (Windows: the one the
// system gives a console program started from a window, such as a file
// manager's context menu), so that no empty console window stays open
// while the program works. A console shared with the command prompt that
// started the program is kept. Nothing on POSIX.
void LeaveUnsharedConsole();

// Writes text to standard output.
void WriteConsoleText(const std::u16string& text);
// Writes text to standard error; a line ends in kConsoleLineEnd. In the
// window program the lines go where its user finds them instead (below).
void WriteErrorText(const std::u16string& text);

// The program's file name, as its messages name it: kExecutableName, or on
// Windows "SumvaneW.exe" for the window program.
std::u16string ProgramName();
// Whether this is the window program (Windows: SumvaneW.exe, the same
// program built for the window subsystem, which Task Scheduler and the
// context menu start): it has no console, and nobody reads its standard
// error. What WriteErrorText is given then goes, line by line without the
// line ends, to the receiver the run's log has set up, and without one into
// the log of such lines (WriteUnheardLine, tessel_log.h). False on POSIX.
bool StandardErrorUnheard();
// Sets (null: removes) the receiver of those lines. It may be called from
// any thread, one line at a time.
using UnheardLineReceiver = void (*)(void* context, const std::u16string& line);
void ReceiveUnheardLines(UnheardLineReceiver receiver, void* context);
// The program's one way to say something on standard error: the line
// "sumvane: <text>" (the program's name first), every character of it a
// terminal would act on shown escaped (ShownOnTerminal), then kConsoleLineEnd.
void SayOnStandardError(std::u16string_view text);
// That line without its end, for a caller that keeps it to say later.
std::u16string StandardErrorLine(std::u16string_view text);
// True when standard error is a terminal (a console on Windows), where a
// person watches the run and reads what the program writes there.
bool StandardErrorIsTerminal();

// Where the system hands a program its arguments already split (POSIX):
// those PrepareProcess kept, the program path left out. Elsewhere nothing.
std::optional<std::vector<std::u16string>> SplitProcessArguments();
// The whole command line as one text, the program path first (Windows).
std::u16string ProcessCommandLine();

}  // namespace TesselLibrary
