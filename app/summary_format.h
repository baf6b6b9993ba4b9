// The summary file: one line per file, "<32 digits> <path bytes>\r\n".
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/digest_result.h"
#include "summary_text.h"
#include "tessel_file.h"
#include "tessel_log.h"

struct SummaryEntry {
    // The line's first 32 bytes, whatever they are (after the backslash of
    // md5sum's line for a name it escaped).
    char digest[32] = {};
    std::uint32_t count = 0;  // 0..32 digest bytes taken, 33 once past the separator
    std::u16string name;
    // The other names the same bytes may stand for (see nameReadings), to
    // try in this order when `name` does not exist.
    std::vector<std::u16string> otherReadings;
    // The entry's file as it was read for the summary, from the record
    // beside it (file_dates.h); nothing without one. The parser never sets it.
    std::optional<FileAsRead> asRead;
};

// Path to summary bytes, always in a form widenBytes reads back as the same
// path: one byte per character when every character lies in U+0001..U+00FF
// (the form Latin-1 names have always had) and those bytes do not read as
// something else; otherwise UTF-8 throughout, as other tools read and write
// names.
std::string toLowBytes(const std::u16string& path);
// The reverse, and the first reading of any summary's bytes: bytes that are
// UTF-8 throughout are decoded whole; otherwise a UTF-8 sequence for a
// character above U+00FF is decoded where it stands and every other byte is
// the code unit of the same value (the one-byte form, and the per-character
// form older summaries hold).
std::u16string widenBytes(const std::string& bytes);

// Every name the path bytes of a summary line may stand for, widenBytes
// first, each once: UTF-8 throughout (a byte that is no UTF-8 standing for
// itself as a system name's undecodable byte does), the per-character form,
// and each byte on its own. A line as md5sum writes it has a mode character
// (" " or "*") before the name: the readings of the bytes after it follow,
// the system's own reading of them first (md5sum lists names as the system
// gives them).
std::vector<std::u16string> nameReadings(const std::string& bytes);

// Whether `name` is a relative name as md5sum's line gives it: its mode
// character (" " or "*") first, then the name md5sum found from the folder
// it ran in.
bool isMd5sumRelativeName(const std::u16string& name);

// A digest's digit as digests are compared: a hexadecimal letter in upper case.
char upperHexLetter(char c);
// Whether a stored digest says the same as a computed one: hexadecimal
// letters match in either case.
bool sameDigest(const char (&stored)[32], const char (&computed)[32]);

// One line of a summary as the reader judged it.
struct SummaryLine {
    enum class Kind {
        Entry,            // a file to check: `entry`
        InvalidFilename,  // past the separator, but no name the system could open
        InvalidHash,      // ended before its separator
    } kind = Kind::Entry;
    SummaryEntry entry;
    bool unterminated = false;  // the data ended before its line end
};

// The longest line a summary may hold: one longer is an invalid line, judged
// without being held whole, so no summary can make the reader hold more.
inline constexpr std::size_t kLongestSummaryLine = std::size_t{64} << 10;

// The reader's state between pieces of a summary: each line (ended by CR LF,
// CR or LF; the last one also by the end of the data) is judged on its own.
// Lines naming `summaryName` itself, or a name holding a zero byte, are
// invalid. Besides its own lines and md5sum's, a line of the tag form
// ("MD5 (name) = digest", as md5sum --tag, BSD's md5 and rhash --bsd write
// it) is read as md5sum's line of that name; a tag line of another digest is
// an invalid line. A summary beginning with a UTF-16 mark is read as UTF-16
// text, its names as UTF-8. Nothing is logged here: the caller decides.
class SummaryParser {
public:
    explicit SummaryParser(std::u16string summaryName) : summaryName_(std::move(summaryName)) {}
    // Judges every line that ends within `bytes`, appending it to `lines`.
    void Feed(const std::uint8_t* bytes, std::size_t length, std::vector<SummaryLine>& lines);
    // The end of the data: a last line without its line end is judged too.
    void Finish(std::vector<SummaryLine>& lines);

private:
    // The line being read.
    struct Line {
        SummaryEntry entry;
        std::string nameBytes;
        char separator = 0;     // the byte after the first 32 of the line
        bool overlong = false;  // its name went past the longest line
    };

    void EndLine(std::vector<SummaryLine>& lines);
    void Take(std::uint8_t byte, std::vector<SummaryLine>& lines);

    std::u16string summaryName_;
    SummaryText text_;
    Line line_;
    bool afterCarriageReturn_ = false;
};

// Every line of a summary held whole in memory.
std::vector<SummaryLine> parseSummary(const std::vector<std::uint8_t>& bytes, const std::u16string& summaryName);

// The lines of a summary file read from the start of its open reading
// handle in pieces of a bounded size.
class SummaryReader {
public:
    SummaryReader(TesselLibrary::TesselFile& file, const std::u16string& summaryName)
        : file_(file), parser_(summaryName) {}
    // The next line; false at the end, or when reading failed (readFailed).
    bool Next(SummaryLine& line);
    bool readFailed() const { return readFailed_; }
    // The bytes read so far.
    std::uint64_t bytesRead() const { return bytesRead_; }

private:
    TesselLibrary::TesselFile& file_;
    SummaryParser parser_;
    std::vector<std::uint8_t> piece_;
    std::vector<SummaryLine> lines_;
    std::size_t nextLine_ = 0;
    bool ended_ = false;
    bool readFailed_ = false;
    std::uint64_t bytesRead_ = 0;
};

// Writes one line as four writes; the outcome of the line end decides.
bool writeSummaryLine(TesselLibrary::TesselFile& file, const char (&digest)[32], const std::u16string& path);
