#include "summary_format.h"

#include "name_compare.h"
#include "string_ids.h"
#include "text.h"

using namespace TesselLibrary;

namespace {

bool IsHighSurrogate(char32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(char32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// A code unit that stands for an undecodable byte of a POSIX name
// (U+DC80..U+DCFF) is written in the same three-byte form as any other BMP
// code unit, and read back by the same rule, so such names survive too.
bool IsByteEscape(char32_t u) { return u >= 0xDC80 && u <= 0xDCFF; }

// Length of the UTF-8 sequence at `i` when it is well-formed (or a byte
// escape) and stands for a code point above U+00FF (with `shortForms`, any
// code point from U+0080 up); 0 otherwise.
std::size_t DecodableLength(const std::string& bytes, std::size_t i, char32_t& cp, bool shortForms) {
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
    const unsigned char lead = at(i);
    std::size_t length;
    const unsigned char lowestTwoByteLead = shortForms ? 0xC2 : 0xC4;  // C2/C3 lead only to U+0080..U+00FF
    if (lead >= lowestTwoByteLead && lead <= 0xDF) {
        length = 2;
        cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        cp = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        cp = lead & 0x07;
    } else {
        return 0;
    }
    if (i + length > bytes.size()) return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if ((at(i + k) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (at(i + k) & 0x3F);
    }
    if (length == 3 && cp < 0x800) return 0;
    if (length == 4 && (cp < 0x10000 || cp > 0x10FFFF)) return 0;
    if (cp >= 0xD800 && cp <= 0xDFFF && !IsByteEscape(cp)) return 0;
    return length;
}

std::u16string Decode(const std::string& bytes, bool shortForms) {
    std::u16string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        char32_t cp = 0;
        const std::size_t length = DecodableLength(bytes, i, cp, shortForms);
        if (length == 0) {
            out.push_back(static_cast<unsigned char>(bytes[i]));
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += length;
    }
    return out;
}

char UpperHexLetter(char c) { return (c >= 'a' && c <= 'f') ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

std::string toLowBytes(const std::u16string& path) {
    std::string out;
    out.reserve(path.size());
    for (std::size_t i = 0; i < path.size(); ++i) {
        const char32_t unit = path[i];
        if (unit == 0) break;  // the path ends at its terminator
        if (unit <= 0xFF) {
            out.push_back(static_cast<char>(unit));
        } else if (IsHighSurrogate(unit) && i + 1 < path.size() && IsLowSurrogate(path[i + 1])) {
            AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (path[i + 1] - 0xDC00));
            ++i;
        } else {
            AppendUtf8(out, unit);
        }
    }
    return out;
}

std::u16string widenBytes(const std::string& bytes) { return Decode(bytes, false); }

std::u16string otherReading(const std::u16string& name) {
    const std::string bytes = toLowBytes(name);
    std::u16string other;
    if (bytes.size() != name.size()) {
        // Some bytes were taken for UTF-8: each byte on its own instead.
        for (const char byte : bytes) other.push_back(static_cast<unsigned char>(byte));
    } else {
        // Each byte was taken on its own: UTF-8 throughout instead, as a
        // tool that stores every name in UTF-8 writes it.
        other = Decode(bytes, true);
    }
    return other == name ? std::u16string() : other;
}

bool sameDigest(const char (&stored)[32], const char (&computed)[32]) {
    for (int i = 0; i < 32; ++i) {
        if (UpperHexLetter(stored[i]) != UpperHexLetter(computed[i])) return false;
    }
    return true;
}

std::vector<SummaryEntry> parseSummary(const std::vector<std::uint8_t>& bytes, const std::u16string& summaryName,
                                       TesselLog& log, const TesselApp& strings, bool& anyInvalid) {
    std::vector<SummaryEntry> entries;
    SummaryEntry line;
    std::string nameBytes;
    const auto endLine = [&] {
        line.name = widenBytes(nameBytes);
        // A zero byte ends a path for the system, so such a line would check
        // a file other than the one it names.
        const bool nameUsable = !line.name.empty() && line.name.find(u'\0') == std::u16string::npos &&
                                !NamesEqual(line.name, summaryName);
        if (line.count == 33 && nameUsable) {
            entries.push_back(line);
        } else if (line.count == 33) {
            log.WriteLine(strings.ResourceString(kInvalidFilename));
            anyInvalid = true;
        } else {
            log.WriteLine(strings.ResourceString(kInvalidHash));
            anyInvalid = true;
        }
        line = SummaryEntry{};
        nameBytes.clear();
    };
    bool afterCarriageReturn = false;
    for (const std::uint8_t byte : bytes) {
        // A line ends at CR LF, and also at a CR or an LF alone, so that a
        // summary that went through a line-end conversion still reads.
        const bool pairedLineFeed = byte == 0x0A && afterCarriageReturn;
        afterCarriageReturn = byte == 0x0D;
        if (pairedLineFeed) continue;
        if (byte == 0x0D || byte == 0x0A) {
            endLine();
        } else if (line.count < 32) {
            line.digest[line.count++] = static_cast<char>(byte);
        } else if (line.count == 32) {
            line.count = 33;  // the separator: any byte
        } else {
            nameBytes.push_back(static_cast<char>(byte));
        }
    }
    // A last line without its line end is judged like the others.
    if (line.count != 0) endLine();
    return entries;
}

bool writeSummaryLine(TesselFile& file, const char (&digest)[32], const std::u16string& path) {
    const std::string pathBytes = toLowBytes(path);
    file.Write(digest, 32);
    file.Write(" ", 1);
    file.Write(pathBytes.data(), static_cast<std::uint32_t>(pathBytes.size()));
    return file.Write("\r\n", 2);
}
