// The process's console and command line.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace TesselLibrary {

// Writes text to standard output.
void WriteConsoleText(const std::u16string& text);

// Where the system hands a program its arguments already split (POSIX):
// those arguments, the program path left out. Elsewhere nothing.
std::optional<std::vector<std::u16string>> SplitProcessArguments();
// The whole command line as one text, the program path first (Windows).
std::u16string ProcessCommandLine();

}  // namespace TesselLibrary
