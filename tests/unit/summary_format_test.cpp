// The summary reader's byte rules and the path conversion.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform.h"
#include "summary_format.h"
#include "text.h"

using namespace TesselLibrary;

namespace {

const std::string kDigits = "0123456789ABCDEF0123456789ABCDEF";

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

// Text saved as UTF-16 with its mark, as PowerShell's ">" saves it (little
// endian) or big endian.
std::string Utf16(const std::u16string& text, bool littleEndian = true) {
    std::string bytes = littleEndian ? "\xFF\xFE" : "\xFE\xFF";
    for (const char16_t unit : text) {
        const char low = static_cast<char>(unit & 0xFF), high = static_cast<char>(unit >> 8);
        bytes += littleEndian ? std::string{low, high} : std::string{high, low};
    }
    return bytes;
}
const std::u16string kDigits16 = u"0123456789ABCDEF0123456789ABCDEF";

// What the reader made of every line, and the message the job logs for
// each invalid one.
struct Parsed {
    std::vector<std::pair<std::string, std::u16string>> entries;  // digest, name
    std::vector<std::vector<std::u16string>> others;              // each entry's other readings
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
            parsed.others.push_back(line.entry.otherReadings);
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
    for (const std::size_t piece : {1, 2, 3, 33, 34, 4096})
        EXPECT_EQ(ParseInPieces(GetParam().bytes, piece), parsed) << piece;
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
        ParseCase{"short digest then a good line", "ABC x\r\n" + kDigits + " y\r\n", {{kDigits, u"y"}}, {kBadHash}},
        ParseCase{"short digest swallows the separator", "0123456789ABCDEF0123456789ABCDE x\r\n", {}, {kBadName}},
        ParseCase{
            "any separator byte", kDigits + "\tt\r\n" + kDigits + "*s\r\n", {{kDigits, u"t"}, {kDigits, u"s"}}, {}},
        ParseCase{
            "line feed alone ends a line", kDigits + " a\n" + kDigits + " b\n", {{kDigits, u"a"}, {kDigits, u"b"}}, {}},
        ParseCase{"carriage return alone ends a line",
                  kDigits + " a\r" + kDigits + " b\r",
                  {{kDigits, u"a"}, {kDigits, u"b"}},
                  {}},
        ParseCase{"line feed inside a path ends it", kDigits + " a\nb\r\n", {{kDigits, u"a"}}, {kBadHash}},
        ParseCase{"blank line of a line feed alone", kDigits + " a\n\n", {{kDigits, u"a"}}, {kBadHash}},
        ParseCase{"last line without its line end",
                  kDigits + " a\r\n" + kDigits + " b",
                  {{kDigits, u"a"}, {kDigits, u"b"}},
                  {}},
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
        ParseCase{
            "an editor's UTF-8 mark before the first line", "\xEF\xBB\xBF" + kDigits + " a\r\n", {{kDigits, u"a"}}, {}},
        ParseCase{"bytes that only begin like the mark",
                  "\xEF\xBB" + kDigits.substr(2) + " a\r\n",
                  {{"\xEF\xBB" + kDigits.substr(2), u"a"}},
                  {}},
        ParseCase{"the mark after the start is a line's own",
                  kDigits + " a\r\n\xEF\xBB\xBF" + kDigits.substr(3) + " b\r\n",
                  {{kDigits, u"a"}, {"\xEF\xBB\xBF" + kDigits.substr(3), u"b"}},
                  {}},
        ParseCase{"a mark alone holds no line", "\xEF\xBB\xBF", {}, {}},
        ParseCase{"md5sum's line of a name it escaped",
                  "\\" + kDigits + "  a\\\\b\\nc\\r\n" + "\\" + kDigits + " *d\n",
                  {{kDigits, u" a\\b\nc\r"}, {kDigits, u"*d"}},
                  {}},
        ParseCase{"a backslash first, but no escape md5sum writes",
                  "\\" + kDigits + "  a\\tb\n",
                  {{"\\" + kDigits.substr(0, 31), u"  a\\tb"}},
                  {}},
        ParseCase{"part of a mark alone", "\xEF\xBB", {}, {kBadHash}},
        // The tag form: the line of md5sum's for the same name (its mode
        // character first), whatever the letter case of the digits.
        ParseCase{"the tag form of md5sum --tag, BSD's md5 and rhash --bsd",
                  "MD5 (a/b.txt) = " + kDigits + "\n" + "MD5 (c d) = 0123456789abcdef0123456789abcdef\r\n",
                  {{kDigits, u" a/b.txt"}, {"0123456789abcdef0123456789abcdef", u" c d"}},
                  {}},
        ParseCase{"a tag line's name holding its own closing text",
                  "MD5 (a) = (b) = " + kDigits + "\r\n",
                  {{kDigits, u" a) = (b"}},
                  {}},
        ParseCase{"md5sum --tag's line of a name it escaped",
                  "\\MD5 (a\\\\b\\nc\\r) = " + kDigits + "\n",
                  {{kDigits, u" a\\b\nc\r"}},
                  {}},
        ParseCase{"tag lines of other digests and short digests are invalid",
                  "SHA256 (a) = " + kDigits + kDigits + "\n" + "SHA1 (a) = " + kDigits.substr(0, 40 - 32) + kDigits +
                      "\n" + "MD5 (a) = " + kDigits.substr(1) + "\n" + "MD5 (a) = " + kDigits + "0\n",
                  {},
                  {kBadHash, kBadHash, kBadHash, kBadHash}},
        ParseCase{"a tag line without a name, or with an escape md5sum never writes",
                  "MD5 () = " + kDigits + "\n" + "\\MD5 (a\\tb) = " + kDigits + "\n",
                  {},
                  {kBadName, kBadName}},
        ParseCase{"lines that only begin as tag lines give no digest",
                  "MD5 (a) = " + kDigits + " x\n" + "MD5 (a)\n" + "MD5 (" + kDigits + "\n",
                  {},
                  {kBadHash, kBadHash, kBadHash}},
        ParseCase{"own and md5sum's lines of names in brackets",
                  kDigits + " (1) a.jpg\r\n" + kDigits + "  (2) = b\n",
                  {{kDigits, u"(1) a.jpg"}, {kDigits, u" (2) = b"}},
                  {}},
        ParseCase{"an own line whose name looks like a tag line",
                  kDigits + " MD5 (a) = " + kDigits + "\r\n",
                  {{kDigits, u"MD5 (a) = " + std::u16string(kDigits16)}},
                  {}},
        ParseCase{"a list saved as UTF-16 by PowerShell",
                  Utf16(kDigits16 + u"  a/\u00E9t\u00E9.txt\r\n" + kDigits16 + u" \u5199\U0001F600\r\nMD5 (b) = " +
                        kDigits16 + u"\r\n"),
                  {{kDigits, u" a/\u00E9t\u00E9.txt"}, {kDigits, u"\u5199\U0001F600"}, {kDigits, u" b"}},
                  {}},
        ParseCase{"a list saved as big-endian UTF-16",
                  Utf16(kDigits16 + u" \u00E9\r\n" + kDigits16 + u"\r\n", false),
                  {{kDigits, u"\u00E9"}},
                  {kBadHash}},
        ParseCase{"UTF-16 that ends inside a character",
                  Utf16(kDigits16 + u" a\r\n" + kDigits16 + u" b") + "\x0A",
                  {{kDigits, u"a"}, {kDigits, u"b"}},
                  {}},
        ParseCase{"bytes that only begin like a UTF-16 mark",
                  "\xFF" + kDigits.substr(1) + " a\r\n" + "\xFE" + kDigits.substr(1) + " b\r\n",
                  {{"\xFF" + kDigits.substr(1), u"a"}, {"\xFE" + kDigits.substr(1), u"b"}},
                  {}},
        ParseCase{"a UTF-16 mark after the start is a line's own",
                  kDigits + " a\r\n\xFF\xFE" + kDigits.substr(2) + " b\r\n",
                  {{kDigits, u"a"}, {"\xFF\xFE" + kDigits.substr(2), u"b"}},
                  {}},
        ParseCase{"messages come in line order",
                  "\r\n" + kDigits + " \r\n" + kDigits + " ok\r\n",
                  {{kDigits, u"ok"}},
                  {kBadHash, kBadName}}),
    [](const auto& info) {
        std::string name;
        for (const char c : std::string(info.param.what))
            name.push_back(std::isalnum(static_cast<unsigned char>(c)) ? c : '_');
        return name;
    });

TEST(PathBytes, Latin1StaysOneBytePerCharacter) {
    const std::u16string path = u"/d/caf\u00E9 \u00FF\u0001.txt";
    const std::string bytes = toLowBytes(path);
    EXPECT_EQ(bytes, std::string("/d/caf\xE9 \xFF\x01.txt"));
    EXPECT_EQ(widenBytes(bytes), path);
}

TEST(PathBytes, OneByteSummariesReadAsBeforeUnlessTheyAreUtf8Throughout) {
    // Every byte 0x01..0xFF that is not part of a sequence above U+00FF
    // widens to the code unit of the same value, including the two-byte
    // sequences that would only spell U+0080..U+00FF, when a byte elsewhere
    // is no UTF-8.
    std::string all;
    for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
    std::u16string expected;
    for (int b = 1; b < 256; ++b) expected.push_back(static_cast<char16_t>(b));
    EXPECT_EQ(widenBytes(all), expected);
    EXPECT_EQ(widenBytes("\xE9\xC3\xA9"), std::u16string(u"\u00E9\u00C3\u00A9"));
    // Bytes that are UTF-8 throughout are read as UTF-8.
    EXPECT_EQ(widenBytes("\xC3\xA9"), std::u16string(u"\u00E9"));
    EXPECT_EQ(widenBytes("\xC2\xA0x"), std::u16string(u"\u00A0x"));
}

// Each name is written in a form that reads back as itself, whatever names
// the same bytes could stand for: a line never checks a sibling.
TEST(PathBytes, LatinNamesThatLookLikeUtf8AreWrittenAsUtf8) {
    const std::pair<std::u16string, std::string> cases[] = {
        {u"Preis \u00C4\u00A9", "Preis \xC3\x84\xC2\xA9"},    // one byte each would read as "Preis \u0129"
        {u"\u00C3\u00A9", "\xC3\x83\xC2\xA9"},                // ... as "\u00E9"
        {u"\u00C4\u00A9\u00E9", "\xC3\x84\xC2\xA9\xC3\xA9"},  // ... as "\u0129\u00E9", per character
        {u"\u00E9t\u00E9", "\xE9t\xE9"},                      // no UTF-8: one byte each, as always
        {u"\u00E9\u00C3", "\xE9\xC3"},
    };
    for (const auto& [path, bytes] : cases) {
        EXPECT_EQ(toLowBytes(path), bytes);
        EXPECT_EQ(widenBytes(bytes), path);
        EXPECT_EQ(nameReadings(bytes).front(), path);
    }
}

TEST(PathBytes, NamesAboveLatin1RoundTripAsUtf8) {
    const std::pair<std::u16string, std::string> cases[] = {
        {u"\u0416\u0443\u0440\u043D\u0430\u043B.txt", "\xD0\x96\xD1\x83\xD1\x80\xD0\xBD\xD0\xB0\xD0\xBB.txt"},
        {u"\u5199\u771F", "\xE5\x86\x99\xE7\x9C\x9F"},
        {u"\u20AC", "\xE2\x82\xAC"},
        {u"\u0100", "\xC4\x80"},
        {u"x\U0001F600y", "x\xF0\x9F\x98\x80y"},
        // Latin-1 beside a character above U+00FF: the whole path is UTF-8.
        {u"caf\u00E9 \u03A9", "caf\xC3\xA9 \xCE\xA9"},
        {u"/d/caf\u00E9/\u0416.txt", "/d/caf\xC3\xA9/\xD0\x96.txt"},
        {u"F\u0151tan\u00FAs\u00EDtv\u00E1ny.crt", "F\xC5\x91tan\xC3\xBAs\xC3\xADtv\xC3\xA1ny.crt"},
        {u"\u0141\u00F3d\u017A.txt",
         "\xC5\x81\xC3\xB3"
         "d\xC5\xBA.txt"},
    };
    for (const auto& [path, bytes] : cases) {
        EXPECT_EQ(toLowBytes(path), bytes);
        EXPECT_EQ(widenBytes(bytes), path);
    }
}

TEST(PathBytes, OlderPerCharacterNamesReadAsBefore) {
    // Written before names above U+00FF were UTF-8 throughout: such a
    // character as UTF-8, a Latin-1 one as its byte. The name reads as it
    // did, and is written whole as UTF-8 from now on.
    const std::string older = "F\xC5\x91tan\xFAs\xEDtv\xE1ny.crt";
    const std::u16string name = u"F\u0151tan\u00FAs\u00EDtv\u00E1ny.crt";
    EXPECT_EQ(widenBytes(older), name);
    EXPECT_EQ(toLowBytes(name), "F\xC5\x91tan\xC3\xBAs\xC3\xADtv\xC3\xA1ny.crt");
}

TEST(PathBytes, MalformedSequencesWidenBytewise) {
    const std::pair<std::string, std::u16string> cases[] = {
        {"\xE2\x82", u"\u00E2\u0082"},                      // cut short
        {"\xC4x", u"\u00C4x"},                              // no continuation
        {"\xE0\x80\xAF", u"\u00E0\u0080\u00AF"},            // overlong
        {"\xF4\x90\x80\x80", u"\u00F4\u0090\u0080\u0080"},  // past U+10FFFF
        {"\xED\xA0\x80", u"\u00ED\u00A0\u0080"},            // a surrogate that stands for no byte
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
    const std::u16string names[] = {u"/d/plain.txt",
                                    u"/d/\u00E9t\u00E9",
                                    u"/d/\u041C\u043E\u0441\u043A\u0432\u0430",
                                    u"/d/\u6771\u4EAC",
                                    u"/d/\U0001D11E",
                                    u"/d/F\u0151tan\u00FAs\u00EDtv\u00E1ny.crt",
                                    u"/d/\u0141\u00F3d\u017A.txt",
                                    u"/d/caf\u00E9/\u0416.txt"};
    std::string file;
    for (const auto& n : names) file += kDigits + " " + toLowBytes(n) + "\r\n";
    const Parsed parsed = Parse(file);
    ASSERT_EQ(parsed.entries.size(), std::size(names));
    for (std::size_t i = 0; i < std::size(names); ++i) EXPECT_EQ(parsed.entries[i].second, names[i]);
}

// The code unit that stands for the undecodable byte `byte` of a system name.
std::u16string Escape(char16_t byte) { return std::u16string(1, static_cast<char16_t>(0xDC00 + byte)); }

TEST(PathBytes, EveryReadingOfTheSameBytes) {
    const std::pair<std::string, std::vector<std::u16string>> cases[] = {
        {"/d/plain.txt", {u"/d/plain.txt"}},
        // Latin-1 that is no UTF-8, and the same bytes as a system name's
        // undecodable ones.
        {"/d/\xE9t\xE9", {u"/d/\u00E9t\u00E9", u"/d/" + Escape(0xE9) + u"t" + Escape(0xE9)}},
        // C9 A0 is the UTF-8 of U+0260 and also "É" and a no-break space.
        {"/d/\xC9\xA0", {u"/d/\u0260", u"/d/\u00C9\u00A0"}},
        // A UTF-8 writer's "é" (C3 A9), then the same bytes as two Latin-1
        // characters.
        {"/d/\xC3\xA9", {u"/d/\u00E9", u"/d/\u00C3\u00A9"}},
        // UTF-8 throughout, then per character, then each byte.
        {"\xC5\x81\xC3\xB3"
         "d\xC5\xBA.txt",
         {u"\u0141\u00F3d\u017A.txt", u"\u0141\u00C3\u00B3d\u017A.txt", u"\u00C5\u0081\u00C3\u00B3d\u00C5\u00BA.txt"}},
        // The older per-character form first, then UTF-8 with the stray byte
        // as itself, then each byte.
        {"\xC5\x81\xF3"
         "d\xC5\xBA.txt",
         {u"\u0141\u00F3d\u017A.txt", u"\u0141" + Escape(0xF3) + u"d\u017A.txt",
          u"\u00C5\u0081\u00F3d\u00C5\u00BA.txt"}},
        // md5sum's mode character before the name.
        {" d/a.txt", {u" d/a.txt", u"d/a.txt"}},
        {"*d/a.txt", {u"*d/a.txt", u"d/a.txt"}},
        {" \xC3\xA9", {u" \u00E9", u" \u00C3\u00A9", u"\u00E9", u"\u00C3\u00A9"}},
        // After the mark, where names are bytes, the bytes as the system gave
        // them to md5sum first.
        {" \xE9", TesselLibrary::kNamesAreBytes
                      ? std::vector<std::u16string>{u" \u00E9", u" " + Escape(0xE9), Escape(0xE9), u"\u00E9"}
                      : std::vector<std::u16string>{u" \u00E9", u" " + Escape(0xE9), u"\u00E9", Escape(0xE9)}},
        {" ", {u" "}},
    };
    for (const auto& [bytes, readings] : cases) EXPECT_EQ(nameReadings(bytes), readings) << bytes;
    // The mark before a whole path: the path is what the line names.
    const std::string whole = TesselLibrary::kWindowsBuild ? "D:\\d\\a.txt" : "/d/a.txt";
    for (const std::string mark : {" ", "*"}) {
        EXPECT_EQ(nameReadings(mark + whole),
                  (std::vector<std::u16string>{widenBytes(whole), widenBytes(mark + whole)}));
    }
}

TEST(PathBytes, EntriesKeepTheirOtherUsableReadings) {
    // md5sum's line of the summary itself is no reading of the summary.
    const Parsed parsed = Parse(kDigits + "  a\r\n" + kDigits + "  Sumvane.md5\r\n");
    ASSERT_EQ(parsed.others.size(), 2u);
    EXPECT_EQ(parsed.others[0], std::vector<std::u16string>{u"a"});
    EXPECT_EQ(parsed.others[1], std::vector<std::u16string>{});
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
