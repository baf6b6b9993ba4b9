#include "summary_format.h"

#include "name_compare.h"
#include "string_ids.h"
#include "text.h"

using namespace TesselLibrary;

namespace {

// A sequence is read as UTF-8 only for a code point above U+00FF, which the
// one-byte form cannot hold: a summary of Latin-1 names written one byte per
// character reads exactly as before. A byte escape (U+DC80..U+DCFF, an
// undecodable byte of a POSIX name) is written in the same three-byte form
// as any other BMP code unit and read back by the same rule, so such names
// survive too.
bool TakenAsUtf8(char32_t cp) { return cp > 0xFF && (!IsSurrogate(cp) || IsByteEscape(cp)); }

// The reading of a tool that stores every name in UTF-8: any code point from
// U+0080 up.
bool TakenAsUtf8Throughout(char32_t cp) { return cp >= 0x80 && (!IsSurrogate(cp) || IsByteEscape(cp)); }

char UpperHexLetter(char c) { return (c >= 'a' && c <= 'f') ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

std::string toLowBytes(const std::u16string& path) {
    std::string out;
    out.reserve(path.size());
    for (std::size_t i = 0; i < path.size();) {
        const char32_t cp = NextCodePoint(path, i);
        if (cp == 0) break;  // the path ends at its terminator
        if (cp <= 0xFF) {
            out.push_back(static_cast<char>(cp));
        } else {
            AppendUtf8(out, cp);
        }
    }
    return out;
}

std::u16string widenBytes(const std::string& bytes) { return DecodeUtf8(bytes, TakenAsUtf8, 0); }

std::u16string otherReading(const std::u16string& name) {
    const std::string bytes = toLowBytes(name);
    std::u16string other;
    if (bytes.size() != name.size()) {
        // Some bytes were taken for UTF-8: each byte on its own instead.
        for (const char byte : bytes) other.push_back(static_cast<unsigned char>(byte));
    } else {
        // Each byte was taken on its own: UTF-8 throughout instead, as a
        // tool that stores every name in UTF-8 writes it.
        other = DecodeUtf8(bytes, TakenAsUtf8Throughout, 0);
    }
    return other == name ? std::u16string() : other;
}

bool sameDigest(const char (&stored)[32], const char (&computed)[32]) {
    for (int i = 0; i < 32; ++i) {
        if (UpperHexLetter(stored[i]) != UpperHexLetter(computed[i])) return false;
    }
    return true;
}

void SummaryParser::EndLine(std::vector<SummaryLine>& lines) {
    SummaryLine judged;
    if (line_.count < 33) {
        judged.kind = SummaryLine::Kind::InvalidHash;
    } else {
        line_.name = widenBytes(nameBytes_);
        // A zero byte ends a path for the system, so such a line would check
        // a file other than the one it names; a name past the longest line
        // is none the system could open either.
        const bool usable = !overlong_ && !line_.name.empty() && line_.name.find(u'\0') == std::u16string::npos &&
                            !NamesEqual(line_.name, summaryName_);
        judged.kind = usable ? SummaryLine::Kind::Entry : SummaryLine::Kind::InvalidFilename;
        if (usable) judged.entry = std::move(line_);
    }
    lines.push_back(std::move(judged));
    line_ = SummaryEntry{};
    nameBytes_.clear();
    overlong_ = false;
}

void SummaryParser::Feed(const std::uint8_t* bytes, std::size_t length, std::vector<SummaryLine>& lines) {
    // The digest and the separator come before the name in every line.
    constexpr std::size_t kLongestName = kLongestSummaryLine - 33;
    for (std::size_t i = 0; i < length; ++i) {
        const std::uint8_t byte = bytes[i];
        // A line ends at CR LF, and also at a CR or an LF alone, so that a
        // summary that went through a line-end conversion still reads.
        const bool pairedLineFeed = byte == 0x0A && afterCarriageReturn_;
        afterCarriageReturn_ = byte == 0x0D;
        if (pairedLineFeed) continue;
        if (byte == 0x0D || byte == 0x0A) {
            EndLine(lines);
        } else if (line_.count < 32) {
            line_.digest[line_.count++] = static_cast<char>(byte);
        } else if (line_.count == 32) {
            line_.count = 33;  // the separator: any byte
        } else if (nameBytes_.size() < kLongestName) {
            nameBytes_.push_back(static_cast<char>(byte));
        } else {
            overlong_ = true;
        }
    }
}

void SummaryParser::Finish(std::vector<SummaryLine>& lines) {
    // A last line without its line end is judged like the others.
    if (line_.count != 0) EndLine(lines);
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
