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
// Latin-1 names keep the one-byte form older summaries hold); anything
// above is written as UTF-8 so that no name is corrupted.
std::string toLowBytes(const std::u16string& path);
// The reverse: a well-formed UTF-8 sequence for a code point above U+00FF is
// decoded, every other byte stands for the code unit of the same value.
std::u16string widenBytes(const std::string& bytes);

// The other reading of the bytes a summary line holds for `name`: each byte
// on its own when some were taken for UTF-8, UTF-8 throughout when none
// were. Empty when both readings are the same. A name that does not exist
// in one reading may exist in the other.
std::u16string otherReading(const std::u16string& name);

// Whether a stored digest says the same as a computed one: hexadecimal
// letters match in either case.
bool sameDigest(const char (&stored)[32], const char (&computed)[32]);

// Reads every line (ended by CR LF, CR or LF); each invalid one is logged
// alone on its line and sets `anyInvalid`. Lines naming `summaryName` itself,
// or a name holding a zero byte, are invalid.
std::vector<SummaryEntry> parseSummary(const std::vector<std::uint8_t>& bytes, const std::u16string& summaryName,
                                       TesselLibrary::TesselLog& log, const TesselLibrary::TesselApp& strings,
                                       bool& anyInvalid);

// Writes one line as four writes; the outcome of the line end decides.
bool writeSummaryLine(TesselLibrary::TesselFile& file, const char (&digest)[32], const std::u16string& path);
