// Path texts, their system byte form, and the string table.
#include <gtest/gtest.h>

#include "platform.h"
#include "tessel_app.h"
#include "text.h"
#include "folders.h"
#include "path.h"

using namespace TesselLibrary;

namespace {

std::u16string Native(std::u16string text) {
    for (auto& c : text) {
        if (c == u'|') c = kPathSeparator;
    }
    return text;
}

TEST(DirectoryOf, KeepsTheFolderPartAndEndsItWithTheSeparator) {
    const std::pair<std::u16string, std::u16string> cases[] = {
        {u"", u""},
        {u"name.txt", u""},
        {Native(u"|a|b.txt"), Native(u"|a|")},
        {Native(u"|name"), Native(u"|")},
        {Native(u"|"), Native(u"|")},
        {Native(u"a|b|"), Native(u"a|b|")},
    };
    for (const auto& [path, folder] : cases) EXPECT_EQ(DirectoryOf(path), folder) << "path: " << path.size();
}

TEST(DirectoryOf, SeparatorRulesOfThePlatform) {
#ifdef _WIN32
    EXPECT_EQ(DirectoryOf(u"C:/a/b.txt"), u"C:/a\\");
    EXPECT_EQ(DirectoryOf(u"a/b\\c"), u"a/b\\");
    EXPECT_EQ(DirectoryOf(u"a\\b/c"), u"a\\b\\");
#else
    // A backslash is an ordinary name character here.
    EXPECT_EQ(DirectoryOf(u"a/b\\c"), u"a/");
    EXPECT_EQ(DirectoryOf(u"a\\b"), u"");
#endif
}

TEST(AppendSeparator, AddsOneSeparatorToNonEmptyText) {
    const std::pair<std::u16string, std::u16string> cases[] = {
        {u"", u""}, {Native(u"|a"), Native(u"|a|")}, {Native(u"|a|"), Native(u"|a|")}, {u"x", Native(u"x|")}};
    for (auto [text, expected] : cases) {
        AppendSeparator(text);
        EXPECT_EQ(text, expected);
    }
}

TEST(WithoutLastSeparators, KeepsTheTopOfTheFileSystemWhole) {
    const std::pair<std::u16string, std::u16string> cases[] = {
        {Native(u"|a|b||"), Native(u"|a|b")}, {Native(u"|"), Native(u"|")}, {Native(u"a|"), u"a"}, {u"a", u"a"}};
    for (const auto& [folder, shown] : cases) EXPECT_EQ(WithoutLastSeparators(folder), shown);
    EXPECT_EQ(WithoutLastSeparators(u"D:\\"), u"D:\\");  // a drive's top on Windows, no separator on POSIX
    EXPECT_EQ(WithoutLastSeparators(u"D:/x//"), u"D:/x");
}

TEST(LastName, IsWhatFollowsTheLastSeparator) {
    const std::pair<std::u16string, std::u16string> cases[] = {{u"", u""},
                                                               {u"name.txt", u"name.txt"},
                                                               {Native(u"|a|b.txt"), u"b.txt"},
                                                               {Native(u"a|"), u""},
                                                               {Native(u"|"), u""}};
    for (const auto& [path, name] : cases) {
        EXPECT_EQ(LastName(path), name);
        // The folder and the name make the path again.
        if (path.find(kPathSeparator) != std::u16string::npos) {
            EXPECT_EQ(DirectoryOf(path) + name, path);
        }
    }
}

TEST(NamesOf, SplitsAtEverySeparator) {
    const std::pair<std::u16string, std::vector<std::u16string_view>> cases[] = {
        {u"a", {u"a"}},
        {Native(u"a|b|c"), {u"a", u"b", u"c"}},
        {Native(u"a||b|"), {u"a", u"", u"b", u""}},
        {u"", {u""}},
    };
    for (const auto& [path, names] : cases) EXPECT_EQ(NamesOf(path), names);
}

TEST(IsBelow, TheFolderItselfIsNotAndTheCurrentOneHoldsEveryRelativePath) {
    struct Case {
        std::u16string path, folderPath;
        bool below;
    } cases[] = {
        {Native(u"|a|b"), Native(u"|a|"), true},
        {Native(u"|a|"), Native(u"|a|"), false},
        {Native(u"|ab"), Native(u"|a|"), false},
        {Native(u"|a|b"), u"", false},
        {Native(u"a|b"), u"", true},
        {u"b", u"", true},
    };
    for (const Case& c : cases) EXPECT_EQ(IsBelow(c.path, c.folderPath), c.below) << c.path.size();
}

TEST(PlainPath, LeavesOutWhatLeadsNowhereElse) {
    const std::pair<std::u16string, std::u16string> cases[] = {
        {u"a", u"a"},
        {Native(u".|a"), u"a"},
        {Native(u"a||b|"), Native(u"a|b")},
        {Native(u"|t|.|sub|..|x"), Native(u"|t|x")},
        {Native(u"|..|t"), Native(u"|t")},
        {Native(u"..|a|..|..|b"), Native(u"..|..|b")},
        {Native(u"a|.."), u""},
        {Native(u"|"), Native(u"|")},
    };
    for (const auto& [path, plain] : cases) EXPECT_EQ(PlainPath(path), plain) << path.size();
#ifdef _WIN32
    EXPECT_EQ(PlainPath(u"D:/t/./x"), u"D:\\t\\x");
#endif
}

TEST(JoinPath, PutsOneSeparatorBetweenFolderAndName) {
    EXPECT_EQ(JoinPath(Native(u"|a"), u"n"), Native(u"|a|n"));
    EXPECT_EQ(JoinPath(Native(u"|a|"), u"n"), Native(u"|a|n"));
    EXPECT_EQ(JoinPath(u"", u"n"), u"n");
    EXPECT_EQ(JoinPath(kRootFolder, u"n"), std::u16string(kRootFolder) + (kWindowsBuild ? u"\\n" : u"n"));
    EXPECT_EQ(SubfolderPath(Native(u"|a|"), u"b"), Native(u"|a|b|"));
#ifdef _WIN32
    EXPECT_EQ(JoinPath(u"C:/a/", u"n"), u"C:/a/n");
#endif
    EXPECT_TRUE(IsOneName(u"a\\b") != kWindowsBuild);
    EXPECT_FALSE(IsOneName(u""));
    EXPECT_FALSE(IsOneName(Native(u"a|b")));
}

TEST(Companions, AreNamedAfterTheSummary) {
    EXPECT_EQ(RewriteName(u"Sumvane.md5"), u"Sumvane.md5X");
    EXPECT_EQ(SlicePlaceName(u"Sumvane.md5"), u"Sumvane.md5.place");
    EXPECT_EQ(FileDatesName(u"Sumvane.md5X"), u"Sumvane.md5X.dates");
}

TEST(Folders, EndInExactlyOneSeparator) {
    std::u16string text;
    for (auto* query : {&ModuleFolder, &CurrentFolder, &TempFolder}) {
        const char16_t* result = query(text);
        EXPECT_EQ(result, text.c_str());
        ASSERT_FALSE(text.empty());
        EXPECT_EQ(text.back(), kPathSeparator);
        if (text.size() > 1) {
            EXPECT_NE(text[text.size() - 2], kPathSeparator);
        }
    }
}

TEST(SystemBytes, WellFormedUtf8DecodesAndEveryOtherByteIsEscaped) {
    const std::pair<std::string, std::u16string> cases[] = {
        {"a\xC3\xA9", u"a\u00E9"},
        {"\xF0\x9F\x98\x80", u"\U0001F600"},
        {"\xE9t\xE9", u"\xDCE9t\xDCE9"},                    // Latin-1 bytes
        {"\xC0\xAF", u"\xDCC0\xDCAF"},                      // overlong "/"
        {"\xED\xA0\x80", u"\xDCED\xDCA0\xDC80"},            // an encoded surrogate
        {"\xF4\x90\x80\x80", u"\xDCF4\xDC90\xDC80\xDC80"},  // past U+10FFFF
        {"\xE2\x82", u"\xDCE2\xDC82"},                      // cut short
    };
    for (const auto& [bytes, text] : cases) {
        EXPECT_EQ(FromSystemBytes(bytes), text) << bytes;
        EXPECT_EQ(ToSystemBytes(text), bytes) << bytes;
    }
    // Unpaired surrogates that stand for no byte have no UTF-8 form.
    EXPECT_EQ(ToSystemBytes(u"\xD800x\xDC00"), "\xEF\xBF\xBDx\xEF\xBF\xBD");
    EXPECT_EQ(ToSystemBytes(std::u16string{u'\xDBFF'}), "\xEF\xBF\xBD");
}

TEST(ShownOnTerminal, EscapesWhatATerminalWouldActOnAndKeepsEveryCharacter) {
    const std::pair<std::u16string, std::u16string> cases[] = {
        {u"plain caf\u00e9 \U0001F480", u"plain caf\u00e9 \U0001F480"},  // a pair whose low half is U+DC80
        {u"a\x1b[2J\x07\n\x7f", u"a\\x1b[2J\\x07\\x0a\\x7f"},
        {u"\u009b1m", u"\\u009b1m"},
        {u"\xDCE9\xDC9B", u"\\xe9\\x9b"},  // bytes that are not UTF-8
    };
    for (const auto& [text, shown] : cases) EXPECT_EQ(ShownOnTerminal(text), shown) << ToSystemBytes(text);
}

TEST(HexDigits, FormAndReadBack) {
    EXPECT_EQ(HexDigits(0x0123456789ABCDEFull, 16), "0123456789ABCDEF");
    EXPECT_EQ(HexDigits(0xAB, 4), "00AB");
    const std::uint8_t value[16] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF,
                                    0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54, 0x32, 0x10};
    char digits[32];
    DigestDigits(value, digits);
    EXPECT_EQ(std::string(digits, 32), "0123456789ABCDEFFEDCBA9876543210");
    EXPECT_EQ(HexDigit(0xE, true), 'e');
    for (const char c : std::string("0123456789ABCDEFabcdef")) EXPECT_EQ(HexDigit(HexValue(c), c >= 'a'), c);
    for (const char c : std::string("gG/:@`")) EXPECT_EQ(HexValue(c), -1);
}

TEST(ResourceString, ServesTheTableAndEmptyTextForAbsentIds) {
    TesselAppWindows frame;
    const std::pair<std::uint32_t, std::u16string> cases[] = {
        {1000, u"Sumvane"},
        {1002, u"Compute MD5 Hash"},
        {1005, u"Brackenfold"},
        {1006, u" - File Not Found"},
        {1008, u"Invalid input line - Invalid Filename"},
        {1013, u" - Unable to Write to File"},
        {999, u""},
        {1015, u" - Unable to Read Folder"},
        {1016, u" - Replaced, but may not be on disk"},
        {1017, u" - Modified "},
        {1018, u" - Damaged: Date Unchanged"},
        {1019, u" - New File"},
        {1020, u" - Moved to "},
        {1099, u""},
        {5000, u""},
    };
    for (const auto& [id, text] : cases) {
        const char16_t* result = frame.ResourceString(id);
        ASSERT_NE(result, nullptr);
        EXPECT_EQ(std::u16string(result), text) << id;
    }
    // The same pointer every time: texts are not copies.
    EXPECT_EQ(frame.ResourceString(1000), frame.ResourceString(1000));
}

}  // namespace
