#include "summary_format.h"

#include <algorithm>
#include <cctype>
#include <string_view>
#include <utility>

#include "name_compare.h"
#include "path.h"
#include "platform.h"
#include "string_ids.h"
#include "text.h"

using namespace TesselLibrary;

namespace {

// The per-character form: a sequence is read as UTF-8 only for a code point
// above U+00FF, which one byte cannot hold, so a summary of Latin-1 names
// written one byte per character reads exactly as it always has. A byte
// escape (U+DC80..U+DCFF, an undecodable byte of a POSIX name) is written
// in the three-byte form of any other BMP code unit and read back by the
// same rule, so such names survive too.
bool TakenAsUtf8(char32_t cp) { return cp > 0xFF && (!IsSurrogate(cp) || IsByteEscape(cp)); }

// UTF-8 throughout: any code point from U+0080 up.
bool TakenAsUtf8Throughout(char32_t cp) { return cp >= 0x80 && (!IsSurrogate(cp) || IsByteEscape(cp)); }

// A system name's reading: every well-formed sequence, ASCII included; with
// the escape base U+DC00 a byte that is no UTF-8 becomes its byte escape.
bool TakenAsSystemName(char32_t cp) { return !IsSurrogate(cp) || IsByteEscape(cp); }

bool HoldsAboveLatin1(const std::u16string& text) {
    return std::any_of(text.begin(), text.end(), [](char16_t unit) { return unit > 0xFF; });
}

bool IsAscii(const std::string& bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](char byte) { return static_cast<unsigned char>(byte) < 0x80; });
}

std::u16string EachByte(const std::string& bytes) {
    std::u16string text;
    text.reserve(bytes.size());
    for (const char byte : bytes) text.push_back(static_cast<unsigned char>(byte));
    return text;
}

// Every code point of `text` as UTF-8, a zero included.
std::string Utf8Throughout(const std::u16string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) AppendUtf8(out, NextCodePoint(text, i));
    return out;
}

bool IsHexDigit(char c) { return HexValue(static_cast<unsigned char>(c)) >= 0; }

// md5sum's escapes in `escaped` undone onto `plain` ("\\", "\n", "\r" for a
// backslash, a line feed, a carriage return); false at any other backslash.
bool UndoMd5sumEscapes(std::string_view escaped, std::string& plain) {
    for (std::size_t i = 0; i < escaped.size(); ++i) {
        if (escaped[i] != '\\') {
            plain.push_back(escaped[i]);
            continue;
        }
        if (++i == escaped.size()) return false;
        switch (escaped[i]) {
            case '\\': plain.push_back('\\'); break;
            case 'n': plain.push_back('\n'); break;
            case 'r': plain.push_back('\r'); break;
            default: return false;
        }
    }
    return true;
}

// md5sum writes the line of a name holding a backslash or a line end as a
// backslash, the 32 digits, a space, its mode character (" " or "*") and the
// name with each of those escaped ("\\", "\n", "\r"). Read as any other
// line, its digest would begin with the backslash and its name hold the
// escapes: an intact file would be called missing. Put right when the line
// is one; `name` then holds the mode character and the name, as in md5sum's
// plain lines. `separator` is the byte read after the first 32.
bool TakeEscapedMd5sumLine(char (&digest)[32], char separator, std::string& name) {
    if (digest[0] != '\\' || !std::all_of(digest + 1, digest + 32, IsHexDigit) || !IsHexDigit(separator)) return false;
    if (name.size() < 3 || name[0] != ' ' || (name[1] != ' ' && name[1] != '*')) return false;
    std::string plain(1, name[1]);
    // An escape md5sum never writes: the line is not one of its own.
    if (!UndoMd5sumEscapes(std::string_view(name).substr(2), plain)) return false;
    std::copy(digest + 1, digest + 32, digest);
    digest[31] = separator;
    name = std::move(plain);
    return true;
}

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// What a line of the tag form is: "<digest name> (<name>) = <digest>", as
// md5sum --tag, BSD's md5 and rhash --bsd write, with a backslash first when
// md5sum escaped the name. A line that begins as one, within its first 32
// bytes, is one: no line of 32 digits does, so the program's own lines and
// md5sum's are never taken for one, and whatever such a line is not (an MD5
// digest in the tag form) gives no digest to check a file with.
enum class TagLine { None, Md5, OtherDigest, BadName };

// The line's bytes are its 32 first, `separator` and `name`. For an MD5 tag
// line, `digest` and `name` become those of md5sum's plain line for the same
// file (its mode character " ", then the name), which every later rule reads.
TagLine TakeTagLine(char (&digest)[32], char separator, std::string& name) {
    std::string line(digest, 32);
    line.push_back(separator);
    line += name;
    const bool escaped = line[0] == '\\';
    const std::string_view body = std::string_view(line).substr(escaped ? 1 : 0);
    // The digest's name: a letter, then letters, digits and dashes
    // ("MD5", "SHA256", "BLAKE2b-256").
    std::size_t open = 0;
    while (open < body.size() && (IsLetter(body[open]) || IsDigit(body[open]) || body[open] == '-')) ++open;
    const std::size_t start = (escaped ? 1 : 0) + open + 2;  // the line's bytes up to the name
    if (open == 0 || !IsLetter(body[0]) || body.substr(open, 2) != " (" || start > 32) return TagLine::None;
    // The digest follows the last ") = ": a name may hold that text itself.
    const std::size_t close = body.rfind(") = ");
    if (close == std::string_view::npos || close < open + 2) return TagLine::OtherDigest;
    const std::string_view digits = body.substr(close + 4);
    const std::string_view algorithm = body.substr(0, open);
    const bool md5 = algorithm.size() == 3 && std::toupper(static_cast<unsigned char>(algorithm[0])) == 'M' &&
                     std::toupper(static_cast<unsigned char>(algorithm[1])) == 'D' && algorithm[2] == '5';
    if (!md5 || digits.size() != 32 || !std::all_of(digits.begin(), digits.end(), IsHexDigit)) {
        return TagLine::OtherDigest;
    }
    std::string plain(1, ' ');
    const std::string_view named = body.substr(open + 2, close - open - 2);
    if (named.empty()) return TagLine::BadName;
    if (!escaped) {
        plain += named;
    } else if (!UndoMd5sumEscapes(named, plain)) {
        return TagLine::BadName;
    }
    std::copy(digits.begin(), digits.end(), digest);
    name = std::move(plain);
    return TagLine::Md5;
}

}  // namespace

char upperHexLetter(char c) { return (c >= 'a' && c <= 'f') ? static_cast<char>(c - 'a' + 'A') : c; }

std::string toLowBytes(const std::u16string& path) {
    // The path ends at its terminator.
    const std::u16string whole = path.substr(0, path.find(u'\0'));
    if (HoldsAboveLatin1(whole)) return Utf8Throughout(whole);
    std::string oneByte;
    oneByte.reserve(whole.size());
    for (const char16_t unit : whole) oneByte.push_back(static_cast<char>(unit));
    // Some Latin-1 names in one byte each are also UTF-8 ("\u00C4\u00A9" is
    // the UTF-8 of U+0129), which the reader prefers: such a name is written
    // in UTF-8, so that its line checks it and never a sibling.
    return widenBytes(oneByte) == whole ? oneByte : Utf8Throughout(whole);
}

std::u16string widenBytes(const std::string& bytes) {
    if (IsAscii(bytes)) return EachByte(bytes);
    // UTF-8 throughout is read as UTF-8: that is what the writer makes of a
    // name any other form would read back wrong, and what other tools write.
    std::u16string whole = DecodeUtf8(bytes, TakenAsUtf8Throughout, 0);
    if (Utf8Throughout(whole) == bytes) return whole;
    return DecodeUtf8(bytes, TakenAsUtf8, 0);
}

std::vector<std::u16string> nameReadings(const std::string& bytes) {
    std::vector<std::u16string> readings;
    const auto add = [&](std::u16string name) {
        if (std::find(readings.begin(), readings.end(), name) == readings.end()) readings.push_back(std::move(name));
    };
    // `asListed`: bytes after md5sum's mark. Where names are bytes they are
    // the name as the system gave it to md5sum: that reading comes first,
    // so that of two files whose names differ only in their encoding (a
    // UTF-8 "\u00E9" and a Latin-1 one) each line checks its own.
    const auto addAll = [&](const std::string& part, bool asListed) {
        if (IsAscii(part)) {
            add(widenBytes(part));
            return;
        }
        if (asListed && kNamesAreBytes) add(DecodeUtf8(part, TakenAsSystemName, 0xDC00));
        add(widenBytes(part));
        add(DecodeUtf8(part, TakenAsSystemName, 0xDC00));
        add(DecodeUtf8(part, TakenAsUtf8, 0));
        add(EachByte(part));
    };
    const bool marked = bytes.size() > 1 && (bytes[0] == ' ' || bytes[0] == '*');
    // md5sum's "<digest>  /path" (or " *"): where the rest is a whole path,
    // it is what the line names, and what a line saying it was not found
    // shows; the bytes with the mark are tried after it.
    if (marked && IsAbsolutePath(widenBytes(bytes.substr(1)))) addAll(bytes.substr(1), true);
    addAll(bytes, false);
    if (marked) addAll(bytes.substr(1), true);
    return readings;
}

bool isMd5sumRelativeName(const std::u16string& name) {
    return name.size() > 1 && (name[0] == u' ' || name[0] == u'*') && !IsAbsolutePath(name.substr(1));
}

bool sameDigest(const char (&stored)[32], const char (&computed)[32]) {
    for (int i = 0; i < 32; ++i) {
        if (upperHexLetter(stored[i]) != upperHexLetter(computed[i])) return false;
    }
    return true;
}

void SummaryParser::EndLine(std::vector<SummaryLine>& lines) {
    SummaryLine judged;
    // A zero byte ends a path for the system, so such a name would check a
    // file other than the one it names.
    const auto usable = [&](const std::u16string& name) {
        return !name.empty() && name.find(u'\0') == std::u16string::npos && !NamesEqual(name, summaryName_);
    };
    SummaryEntry& entry = line_.entry;
    if (entry.count < 33) {
        judged.kind = SummaryLine::Kind::InvalidHash;
    } else if (line_.overlong) {
        // A name past the longest line is none the system could open.
        judged.kind = SummaryLine::Kind::InvalidFilename;
    } else if (const TagLine tag = TakeTagLine(entry.digest, line_.separator, line_.nameBytes);
               tag == TagLine::OtherDigest) {
        // No MD5 digest to compare a file with.
        judged.kind = SummaryLine::Kind::InvalidHash;
    } else if (tag == TagLine::BadName) {
        judged.kind = SummaryLine::Kind::InvalidFilename;
    } else {
        if (tag == TagLine::None) TakeEscapedMd5sumLine(entry.digest, line_.separator, line_.nameBytes);
        std::vector<std::u16string> readings = nameReadings(line_.nameBytes);
        entry.name = std::move(readings.front());
        if (usable(entry.name)) {
            for (std::size_t k = 1; k < readings.size(); ++k) {
                if (usable(readings[k])) entry.otherReadings.push_back(std::move(readings[k]));
            }
            judged.entry = std::move(entry);
        } else {
            judged.kind = SummaryLine::Kind::InvalidFilename;
        }
    }
    lines.push_back(std::move(judged));
    line_ = Line{};
}

void SummaryParser::Feed(const std::uint8_t* bytes, std::size_t length, std::vector<SummaryLine>& lines) {
    std::string lineBytes;
    for (std::size_t i = 0; i < length; ++i) {
        if (text_.plain()) {
            Take(bytes[i], lines);
            continue;
        }
        lineBytes.clear();
        text_.Take(bytes[i], lineBytes);
        for (const char byte : lineBytes) Take(static_cast<std::uint8_t>(byte), lines);
    }
}

void SummaryParser::Take(std::uint8_t byte, std::vector<SummaryLine>& lines) {
    // The digest and the separator come before the name in every line.
    constexpr std::size_t kLongestName = kLongestSummaryLine - 33;
    // A line ends at CR LF, and also at a CR or an LF alone, so that a
    // summary that went through a line-end conversion still reads.
    const bool pairedLineFeed = byte == 0x0A && afterCarriageReturn_;
    afterCarriageReturn_ = byte == 0x0D;
    if (pairedLineFeed) return;
    SummaryEntry& entry = line_.entry;
    if (byte == 0x0D || byte == 0x0A) {
        EndLine(lines);
    } else if (entry.count < 32) {
        entry.digest[entry.count++] = static_cast<char>(byte);
    } else if (entry.count == 32) {
        entry.count = 33;  // the separator: any byte
        line_.separator = static_cast<char>(byte);
    } else if (line_.nameBytes.size() < kLongestName) {
        line_.nameBytes.push_back(static_cast<char>(byte));
    } else {
        line_.overlong = true;
    }
}

void SummaryParser::Finish(std::vector<SummaryLine>& lines) {
    std::string lineBytes;
    text_.Finish(lineBytes);
    for (const char byte : lineBytes) Take(static_cast<std::uint8_t>(byte), lines);
    // A last line without its line end is judged like the others.
    if (line_.entry.count != 0) {
        EndLine(lines);
        lines.back().unterminated = true;
    }
    afterCarriageReturn_ = false;
}

std::vector<SummaryLine> parseSummary(const std::vector<std::uint8_t>& bytes, const std::u16string& summaryName) {
    SummaryParser parser(summaryName);
    std::vector<SummaryLine> lines;
    parser.Feed(bytes.data(), bytes.size(), lines);
    parser.Finish(lines);
    return lines;
}

bool SummaryReader::Next(SummaryLine& line) {
    // Pieces of this size keep the reader's memory small whatever the file.
    static constexpr std::uint32_t kPiece = 64 << 10;
    while (nextLine_ == lines_.size()) {
        if (ended_) return false;
        lines_.clear();
        nextLine_ = 0;
        piece_.resize(kPiece);
        std::uint32_t got = 0;
        if (!file_.Read(piece_.data(), kPiece, &got)) {
            readFailed_ = ended_ = true;
            return false;
        }
        bytesRead_ += got;
        parser_.Feed(piece_.data(), got, lines_);
        if (got < kPiece) {
            parser_.Finish(lines_);
            ended_ = true;
        }
    }
    line = std::move(lines_[nextLine_++]);
    return true;
}

bool writeSummaryLine(TesselFile& file, const char (&digest)[32], const std::u16string& path) {
    const std::string pathBytes = toLowBytes(path);
    file.Write(digest, 32);
    file.Write(" ", 1);
    file.Write(pathBytes.data(), static_cast<std::uint32_t>(pathBytes.size()));
    return file.Write("\r\n", 2);
}
