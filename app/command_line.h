// Reading the command line into the run settings. Nothing is ever rejected.
#pragma once

#include <string>
#include <vector>

struct RunSettings;

// Splits one command line into arguments: quotes only suppress splitting,
// U+7FFF outside quotes always ends an argument.
std::vector<std::u16string> splitCommandLine(const std::u16string& commandLine);
// Applies one argument, its value attached: "-f/data", not "-f" "/data".
void applyArgument(const std::u16string& argument, RunSettings& app);
// Applies the arguments in order. A value option (-f, -n, -o, -x, -z) with
// nothing attached takes the next argument as its value, unless there is
// none or it is an option itself: "-f /data" means "-f/data".
void applyArguments(const std::vector<std::u16string>& arguments, RunSettings& app);
// Reads the process's command line and applies each argument in order.
void parseCommandLine(RunSettings& app);
