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
    // The other names the same bytes may stand for (see nameReadings), to
    // try in this order when `name` does not exist.
    std::vector<std::u16string> otherReadings;
};

// Path to summary bytes. A path whose characters all lie in U+0001..U+00FF
// is one byte each (the form Latin-1 names have always had); a path holding
// any character above U+00FF is UTF-8 throughout, as other tools read and
// write names.
std::string toLowBytes(const std::u16string& path);
// The reverse, and the first reading of any summary's bytes: bytes that are
// UTF-8 throughout and spell a character above U+00FF are decoded whole;
// otherwise a UTF-8 sequence for a character above U+00FF is decoded where
// it stands and every other byte is the code unit of the same value (the
// one-byte form, and the per-character form older summaries hold).
std::u16string widenBytes(const std::string& bytes);

// Every name the path bytes of a summary line may stand for, widenBytes
// first, each once: UTF-8 throughout (a byte that is no UTF-8 standing for
// itself as a system name's undecodable byte does), the per-character form,
// and each byte on its own. A line as md5sum writes it has a mode character
// (" " or "*") before the name: the readings of the bytes after it follow.
std::vector<std::u16string> nameReadings(const std::string& bytes);

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
