// Standard error on POSIX: whether a person watches it, and the text the
// program writes there, routed above the progress display while one is drawn.
#include "standard_error.h"

#include <unistd.h>

#include <atomic>

#include "console.h"
#include "file_descriptor.h"
#include "platform.h"
#include "text.h"

namespace TesselLibrary {

namespace {

std::atomic<Posix::ErrorTextRoute> errorTextRoute{nullptr};

}  // namespace

void Posix::SetErrorTextRoute(ErrorTextRoute route) { errorTextRoute = route; }

// A closed stream is simply not seen: what cannot be written is dropped.
void WriteErrorText(const std::u16string& text) {
    const std::string bytes = ToSystemBytes(text);
    const Posix::ErrorTextRoute route = errorTextRoute;
    if (route && route(bytes)) return;
    Posix::WriteAll(STDERR_FILENO, bytes);
}

bool StandardErrorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

std::u16string ProgramName() { return kExecutableName; }

// A program of this system always has a standard error of its own.
bool StandardErrorUnheard() { return false; }
void ReceiveUnheardLines(UnheardLineReceiver, void*) {}

}  // namespace TesselLibrary
