// The summary file: one line per file, "<32 digits> <path bytes>\r\n".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tessel_app.h"
#include "tessel_file.h"
#include "tessel_log.h"

struct SummaryEntry {
    char digest[32] = {};       // the line's first 32 bytes, whatever they are
    std::uint32_t count = 0;    // 0..32 digest bytes taken, 33 once past the separator
    std::u16string name;
};

// Path to summary bytes. Code points up to U+00FF are one byte each (so
// Latin-1 names keep the classic one-byte form); anything above is written
// as UTF-8 so that no name is corrupted.
std::string toLowBytes(const std::u16string& path);
// The reverse: a well-formed UTF-8 sequence for a code point above U+00FF is
// decoded, every other byte stands for the code unit of the same value.
std::u16string widenBytes(const std::string& bytes);

// Reads every line; each invalid one is logged alone on its line and sets
// `anyInvalid`. Lines naming `summaryName` itself are invalid.
std::vector<SummaryEntry> parseSummary(const std::vector<std::uint8_t>& bytes, const std::u16string& summaryName,
                                       TesselLibrary::TesselLog& log, const TesselLibrary::TesselApp& strings,
                                       bool& anyInvalid);

// Writes one line as four writes; the outcome of the line end decides.
bool writeSummaryLine(TesselLibrary::TesselFile& file, const char (&digest)[32], const std::u16string& path);
