// Reading the command line into the run settings. Nothing is ever rejected.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "run_settings.h"

// Splits one command line into arguments: quotes only suppress splitting,
// U+7FFF outside quotes always ends an argument.
std::vector<std::u16string> splitCommandLine(const std::u16string& commandLine);
// What a command line asks for: the run's settings, and the notes on
// options ignored in whole or in part.
struct ParsedCommandLine {
    RunSettings settings;
    std::vector<std::u16string> notes;
};
// Reads the arguments in order over `defaults` (the settings before any
// option: the summary's name). A value option (-b, -f, -j, -m, -n, -o, -t, -x, -z)
// with nothing attached takes the next argument as its value, unless there
// is none or it is an option itself: "-f /data" means "-f/data"; otherwise
// a value is attached: "-f/data". An option that ignores the rest of its
// text ("-rc" is read as "-r") or that it does not know gets a note, in
// order, and a last one comes when the run was given options but selects
// no work (no folder, file or path, or a folder with neither -c nor -v).
// No notes when it answers "--help" or "--version", or when the options
// cannot work together (the settings' `refusal` then says why). Whether
// they are shown is the caller's business.
ParsedCommandLine parseArguments(const std::vector<std::u16string>& arguments, RunSettings defaults);
// Reads the process's command line over `app` with parseArguments. On
// Linux the notes go to standard error, with one more when a build on a
// terminal records its paths relative to the current folder.
void parseCommandLine(RunSettings& app);
