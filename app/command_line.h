// Reading the command line into the run settings. Nothing is ever rejected.
#pragma once

#include <string>
#include <vector>

struct RunSettings;

// Splits one command line into arguments: quotes only suppress splitting,
// U+7FFF outside quotes always ends an argument.
std::vector<std::u16string> splitCommandLine(const std::u16string& commandLine);
void applyArgument(const std::u16string& argument, RunSettings& app);
// Reads the process's command line and applies each argument in order.
void parseCommandLine(RunSettings& app);
