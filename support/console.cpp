// What the program says on standard error, formed the same way on every system.
#include "console.h"

#include "platform.h"
#include "text.h"

namespace TesselLibrary {

std::u16string StandardErrorLine(std::u16string_view text) {
    std::u16string line = ProgramName() + u": ";
    line += text;
    return ShownOnTerminal(line);
}

void SayOnStandardError(std::u16string_view text) { WriteErrorText(StandardErrorLine(text) + kConsoleLineEnd); }

}  // namespace TesselLibrary
