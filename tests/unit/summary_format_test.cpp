// The summary reader's byte rules and the path conversion.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "summary_format.h"
#include "text.h"

using namespace TesselLibrary;

namespace {

const std::string kDigits = "0123456789ABCDEF0123456789ABCDEF";

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

// What the reader made of every line, and the message the job logs for
// each invalid one.
struct Parsed {
    std::vector<std::pair<std::string, std::u16string>> entries;  // digest, name
    std::vector<std::string> messages;
    bool anyInvalid = false;
    bool operator==(const Parsed&) const = default;
};

Parsed Judge(const std::vector<SummaryLine>& lines) {
    Parsed parsed;
    for (const SummaryLine& line : lines) {
        if (line.kind == SummaryLine::Kind::Entry) {
            EXPECT_EQ(line.entry.count, 33u);
            parsed.entries.emplace_back(std::string(line.entry.digest, 32), line.entry.name);
        } else {
            parsed.anyInvalid = true;
            parsed.messages.push_back(line.kind == SummaryLine::Kind::InvalidHash
                                          ? "Invalid input line - Invalid Hash"
                                          : "Invalid input line - Invalid Filename");
        }
    }
    return parsed;
}

Parsed Parse(const std::string& text) { return Judge(parseSummary(Bytes(text), u"Sumvane.md5")); }

// The same bytes fed to the reader in pieces of `piece` bytes, as it reads
// a file: every line must come out the same wherever a piece ends.
Parsed ParseInPieces(const std::string& text, std::size_t piece) {
    SummaryParser parser(u"Sumvane.md5");
    std::vector<SummaryLine> lines;
    const std::vector<std::uint8_t> bytes = Bytes(text);
    for (std::size_t at = 0; at < bytes.size(); at += piece)
        parser.Feed(bytes.data() + at, std::min(piece, bytes.size() - at), lines);
    parser.Finish(lines);
    return Judge(lines);
}

struct ParseCase {
    const char* what;
    std::string bytes;
    std::vector<std::pair<std::string, std::u16string>> entries;
    std::vector<std::string> messages;
};

const char* kBadName = "Invalid input line - Invalid Filename";
const char* kBadHash = "Invalid input line - Invalid Hash";

class ParseSummaryTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseSummaryTest, TakesOrReportsEveryLine) {
    const Parsed parsed = Parse(GetParam().bytes);
    EXPECT_EQ(parsed.entries, GetParam().entries);
    EXPECT_EQ(parsed.messages, GetParam().messages);
    EXPECT_EQ(parsed.anyInvalid, !GetParam().messages.empty());
    for (const std::size_t piece : {1, 2, 3, 33, 34, 4096}) EXPECT_EQ(ParseInPieces(GetParam().bytes, piece), parsed) << piece;
}

INSTANTIATE_TEST_SUITE_P(
    ByteRules, ParseSummaryTest,
    ::testing::Values(
        ParseCase{"one line", kDigits + " a/b.txt\r\n", {{kDigits, u"a/b.txt"}}, {}},
        ParseCase{"blank line", "\r\n", {}, {kBadHash}},
        ParseCase{"digits without separator", kDigits + "\r\n", {}, {kBadHash}},
        ParseCase{"digits and separator only", kDigits + " \r\n", {}, {kBadName}},
        ParseCase{"the summary's own name", kDigits + " Sumvane.md5\r\n", {}, {kBadName}},
        ParseCase{"own name in another case is a file", kDigits + " sumvane.md5\r\n", {{kDigits, u"sumvane.md5"}}, {}},
        ParseCase{"short digest then a good line",
                  "ABC x\r\n" + kDigits + " y\r\n",
                  {{kDigits, u"y"}},
                  {kBadHash}},
        ParseCase{"short digest swallows the separator", "0123456789ABCDEF0123456789ABCDE x\r\n", {}, {kBadName}},
        ParseCase{"any separator byte", kDigits + "\tt\r\n" + kDigits + "*s\r\n", {{kDigits, u"t"}, {kDigits, u"s"}}, {}},
        ParseCase{"line feed alone ends a line", kDigits + " a\n" + kDigits + " b\n", {{kDigits, u"a"}, {kDigits, u"b"}}, {}},
        ParseCase{"carriage return alone ends a line", kDigits + " a\r" + kDigits + " b\r", {{kDigits, u"a"}, {kDigits, u"b"}}, {}},
        ParseCase{"line feed inside a path ends it", kDigits + " a\nb\r\n", {{kDigits, u"a"}}, {kBadHash}},
        ParseCase{"blank line of a line feed alone", kDigits + " a\n\n", {{kDigits, u"a"}}, {kBadHash}},
        ParseCase{"last line without its line end", kDigits + " a\r\n" + kDigits + " b", {{kDigits, u"a"}, {kDigits, u"b"}}, {}},
        ParseCase{"unfinished last line is judged", kDigits + " a\r\n" + kDigits, {{kDigits, u"a"}}, {kBadHash}},
        ParseCase{"a zero byte in the name", kDigits + " a" + std::string(1, '\0') + "b\r\n", {}, {kBadName}},
        ParseCase{"same path twice", kDigits + " a\r\n" + kDigits + " a\r\n", {{kDigits, u"a"}, {kDigits, u"a"}}, {}},
        ParseCase{"lower-case digits are taken as they are",
                  "0123456789abcdef0123456789abcdef p\r\n",
                  {{"0123456789abcdef0123456789abcdef", u"p"}},
                  {}},
        ParseCase{"spaces kept in the path", kDigits + "  a b \r\n", {{kDigits, u" a b "}}, {}},
        ParseCase{"a line past the longest is an invalid filename, read to its end",
                  kDigits + " " + std::string(kLongestSummaryLine, 'n') + "\r\n" + kDigits + " after\r\n",
                  {{kDigits, u"after"}},
                  {kBadName}},
        ParseCase{"the longest line is an entry",
                  kDigits + " " + std::string(kLongestSummaryLine - 33, 'n') + "\r\n",
                  {{kDigits, std::u16string(kLongestSummaryLine - 33, u'n')}},
                  {}},
        ParseCase{"messages come in line order",
                  "\r\n" + kDigits + " \r\n" + kDigits + " ok\r\n",
                  {{kDigits, u"ok"}},
                  {kBadHash, kBadName}}),
    [](const auto& info) {
        std::string name;
        for (const char c : std::string(info.param.what)) name.push_back(std::isalnum(static_cast<unsigned char>(c)) ? c : '_');
        return name;
    });

TEST(PathBytes, Latin1StaysOneBytePerCharacter) {
    const std::u16string path = u"/d/caf\u00E9 \u00FF\u0001.txt";
    const std::string bytes = toLowBytes(path);
    EXPECT_EQ(bytes, std::string("/d/caf\xE9 \xFF\x01.txt"));
    EXPECT_EQ(widenBytes(bytes), path);
}

TEST(PathBytes, OneByteSummariesReadExactlyAsBefore) {
    // Every byte 0x01..0xFF that is not part of a sequence above U+00FF
    // widens to the code unit of the same value, including the two-byte
    // sequences that would only spell U+0080..U+00FF.
    std::string all;
    for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
    std::u16string expected;
    for (int b = 1; b < 256; ++b) expected.push_back(static_cast<char16_t>(b));
    EXPECT_EQ(widenBytes(all), expected);
    EXPECT_EQ(widenBytes("\xC3\xA9"), std::u16string(u"\u00C3\u00A9"));
    EXPECT_EQ(widenBytes("\xC2\xA0x"), std::u16string(u"\u00C2\u00A0x"));
}

TEST(PathBytes, NamesAboveLatin1RoundTripAsUtf8) {
    const std::pair<std::u16string, std::string> cases[] = {
        {u"\u0416\u0443\u0440\u043D\u0430\u043B.txt", "\xD0\x96\xD1\x83\xD1\x80\xD0\xBD\xD0\xB0\xD0\xBB.txt"},
        {u"\u5199\u771F", "\xE5\x86\x99\xE7\x9C\x9F"},
        {u"\u20AC", "\xE2\x82\xAC"},
        {u"\u0100", "\xC4\x80"},
        {u"x\U0001F600y", "x\xF0\x9F\x98\x80y"},
        {u"caf\u00E9 \u03A9", "caf\xE9 \xCE\xA9"},
    };
    for (const auto& [path, bytes] : cases) {
        EXPECT_EQ(toLowBytes(path), bytes);
        EXPECT_EQ(widenBytes(bytes), path);
    }
}

TEST(PathBytes, MalformedSequencesWidenBytewise) {
    const std::pair<std::string, std::u16string> cases[] = {
        {"\xE2\x82", u"\u00E2\u0082"},                 // cut short
        {"\xC4x", u"\u00C4x"},                         // no continuation
        {"\xE0\x80\xAF", u"\u00E0\u0080\u00AF"},       // overlong
        {"\xF4\x90\x80\x80", u"\u00F4\u0090\u0080\u0080"},  // past U+10FFFF
        {"\xED\xA0\x80", u"\u00ED\u00A0\u0080"},       // a surrogate that stands for no byte
    };
    for (const auto& [bytes, path] : cases) EXPECT_EQ(widenBytes(bytes), path);
}

TEST(PathBytes, UndecodableSystemNameBytesRoundTrip) {
    // A POSIX name with a byte that is not UTF-8 reaches the program as
    // U+DC00 + byte and must come back as the same name.
    const std::u16string name = FromSystemBytes("latin\xE9-name");
    EXPECT_EQ(widenBytes(toLowBytes(name)), name);
    EXPECT_EQ(ToSystemBytes(widenBytes(toLowBytes(name))), "latin\xE9-name");
}

TEST(PathBytes, ReaderGivesBackWhatTheWriterWrote) {
    const std::u16string names[] = {u"/d/plain.txt", u"/d/\u00E9t\u00E9", u"/d/\u041C\u043E\u0441\u043A\u0432\u0430",
                                    u"/d/\u6771\u4EAC", u"/d/\U0001D11E"};
    std::string file;
    for (const auto& n : names) file += kDigits + " " + toLowBytes(n) + "\r\n";
    const Parsed parsed = Parse(file);
    ASSERT_EQ(parsed.entries.size(), std::size(names));
    for (std::size_t i = 0; i < std::size(names); ++i) EXPECT_EQ(parsed.entries[i].second, names[i]);
}

TEST(PathBytes, OtherReadingOfTheSameBytes) {
    const std::pair<std::u16string, std::u16string> cases[] = {
        // C9 A0 is a Latin-1 name and also the UTF-8 of U+0260: each way
        // leads to the other.
        {u"/d/\u0260", u"/d/\u00C9\u00A0"},
        {u"/d/\u00C9\u00A0", u"/d/\u0260"},
        {u"/d/\u0130.txt", u"/d/\u00C4\u00B0.txt"},  // "Ä°" as C4 B0 reads as "İ"
        // A UTF-8 writer's "é" (C3 A9) reads as two Latin-1 characters.
        {u"/d/\u00C3\u00A9", u"/d/\u00E9"},
        // Nothing else to read: plain ASCII, and Latin-1 that is no UTF-8.
        {u"/d/plain.txt", u""},
        {u"/d/\u00E9t\u00E9", u""},
    };
    for (const auto& [name, other] : cases) EXPECT_EQ(otherReading(name), other) << ToSystemBytes(name);
}

TEST(Digests, HexLettersMatchInEitherCase) {
    const char upper[32] = {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'A', 'B', 'C', 'D', 'E', 'F',
                            '0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'A', 'B', 'C', 'D', 'E', 'F'};
    char lower[32], other[32], mixedUp[32];
    for (int i = 0; i < 32; ++i) {
        lower[i] = static_cast<char>(std::tolower(upper[i]));
        other[i] = upper[i];
        mixedUp[i] = i % 2 ? lower[i] : upper[i];
    }
    other[31] = 'E';
    EXPECT_TRUE(sameDigest(upper, upper));
    EXPECT_TRUE(sameDigest(lower, upper));
    EXPECT_TRUE(sameDigest(mixedUp, upper));
    EXPECT_FALSE(sameDigest(other, upper));
}

}  // namespace
