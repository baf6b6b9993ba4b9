// Reading the command line into the run settings. Nothing is ever rejected.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct RunSettings;

// Splits one command line into arguments: quotes only suppress splitting,
// U+7FFF outside quotes always ends an argument.
std::vector<std::u16string> splitCommandLine(const std::u16string& commandLine);
// Applies one argument, its value attached: "-f/data", not "-f" "/data".
// Returns how many of its characters took effect: all of them; the first
// two ("-vc": three) of an option that ignores the rest, so "-rc" is read
// as "-r"; or none, for a lone "-" and an option it does not know.
std::size_t applyArgument(const std::u16string& argument, RunSettings& app);
// Applies the arguments in order. A value option (-b, -f, -n, -o, -t, -x, -z) with
// nothing attached takes the next argument as its value, unless there is
// none or it is an option itself: "-f /data" means "-f/data". Returns one
// note for each option ignored in whole or in part, in order, and a last
// one when the run was given options but selects no work (no folder, file
// or path, or a folder with neither -c nor -v); nothing when it answers
// "--help" or "--version", or when the options cannot work together (the
// settings' `refusal` then says why). Whether they are shown is the
// caller's business.
std::vector<std::u16string> applyArguments(const std::vector<std::u16string>& arguments, RunSettings& app);
// Reads the process's command line and applies each argument in order. On
// Linux the notes go to standard error, with one more when a build on a
// terminal records its paths relative to the current folder.
void parseCommandLine(RunSettings& app);
