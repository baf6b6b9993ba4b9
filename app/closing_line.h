// The last line of a run that logged problems, for standard error: how many
// there were and where the log is, so that a terminal or a cron mail says it
// without the log file being opened.
#pragma once

#include <cstddef>
#include <string>

// "sumvane: 3 problems; log: <path>", then, when some lines did not reach the
// log file (they are on standard error already), how many of them.
std::u16string closingLine(std::size_t problems, std::size_t notInLog, const std::u16string& logPath);
