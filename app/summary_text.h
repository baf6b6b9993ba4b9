// A summary's bytes as the bytes of its lines: the mark a summary may begin
// with, and the text of a summary saved as UTF-16.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

// The mark an editor may put before text it saves as UTF-8; never the start
// of a digest.
inline constexpr std::array<std::uint8_t, 3> kUtf8Mark = {0xEF, 0xBB, 0xBF};
bool startsWithUtf8Mark(const std::uint8_t* bytes, std::size_t length);
// The marks before text saved as UTF-16 (what PowerShell's ">" writes is
// little-endian): the whole summary is then read as that text.
inline constexpr std::array<std::uint8_t, 2> kUtf16LeMark = {0xFF, 0xFE};
inline constexpr std::array<std::uint8_t, 2> kUtf16BeMark = {0xFE, 0xFF};

// A summary saved by an editor that marks its text as UTF-8, or saved as
// UTF-16, begins with the mark: it is no part of the first line's digest.
// Bytes that only began like one are the line's own. Each character of
// UTF-16 text goes on as its UTF-8 bytes, the form in which every name reads
// back as itself.
class SummaryText {
public:
    // Whether every byte now goes on as it is: the data began with no mark,
    // or with UTF-8's.
    bool plain() const { return markPassed_ && encoding_ == Encoding::Bytes; }
    // Appends to `lineBytes` the bytes of the lines that `byte` completes.
    void Take(std::uint8_t byte, std::string& lineBytes);
    // The end of the data: what was held for a mark or a character goes on.
    void Finish(std::string& lineBytes);

private:
    enum class Encoding { Bytes, Utf16Le, Utf16Be };

    // Takes `byte` while the data may still begin with a text's mark.
    void TakeAtStart(std::uint8_t byte, std::string& lineBytes);
    // One byte of UTF-16 text.
    void TakeUtf16(std::uint8_t byte, std::string& lineBytes);

    std::array<std::uint8_t, 3> markBytes_ = {};  // the first bytes, while they may be a mark
    std::size_t markSeen_ = 0;                    // how many of them
    bool markPassed_ = false;                     // the data began with a mark, or did not
    Encoding encoding_ = Encoding::Bytes;
    int halfUnit_ = -1;           // UTF-16: the first byte of a code unit, until its second
    char16_t highSurrogate_ = 0;  // UTF-16: a high surrogate, until the unit after it
};
