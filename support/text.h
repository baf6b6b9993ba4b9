// UTF-16 inside the program, the system's byte form at its boundary, and
// the code-point steps every conversion of names is made of.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace TesselLibrary {

constexpr bool IsHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
constexpr bool IsLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
constexpr bool IsSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDFFF; }
// U+DC80..U+DCFF: the code unit that stands for one undecodable byte of a
// system name (U+DC00 + the byte).
constexpr bool IsByteEscape(char32_t unit) { return unit >= 0xDC80 && unit <= 0xDCFF; }

// The code point that starts at text[i], with `i` moved past it: a high
// surrogate directly followed by a low one is joined; any other unit, an
// unpaired surrogate included, stands for itself.
char32_t NextCodePoint(std::u16string_view text, std::size_t& i);

// Appends one code point as UTF-16 (a surrogate pair above U+FFFF).
void AppendUtf16(std::u16string& out, char32_t codePoint);

// Appends the UTF-8 form of one code point (up to U+10FFFF).
void AppendUtf8(std::string& out, char32_t codePoint);

// UTF-8 to UTF-16 by the caller's rule: a UTF-8 sequence in its shortest
// form (surrogate code points included, nothing past U+10FFFF) becomes its
// code point when `take` accepts that code point; every other byte b becomes
// the code unit `escapeBase + b` on its own.
std::u16string DecodeUtf8(std::string_view bytes, bool (*take)(char32_t codePoint), char16_t escapeBase);

// UTF-8 to UTF-16. A byte that is not part of a well-formed UTF-8 sequence
// becomes U+DC00 + byte, so that every name the system hands us round-trips.
std::u16string FromSystemBytes(std::string_view bytes);

// Text as one line of the log shows it: a carriage return or line feed (a
// Linux file name may hold either) as "\r" or "\n", so that the line stays
// one; everything else stays as it is, since the log keeps names whole.
std::u16string ShownInLogLine(std::u16string_view text);

// Text as it may safely reach a terminal, as UTF-8 throughout: every
// control character (C0 and DEL as "\x1b", C1 as "\u009b") and every byte
// of a name that is not UTF-8 ("\xe9") shown as an escape, so that a file
// name cannot move the cursor, retitle or clear the terminal, or fake a
// line of its own.
std::u16string ShownOnTerminal(std::u16string_view text);

// The hexadecimal digit of a value from 0 to 15: upper case, as digests and
// the place file write them, or lower case, as the escapes of a terminal.
char HexDigit(unsigned value, bool lowerCase = false);
// The value of a hexadecimal digit of either case; -1 for any other character.
int HexValue(char32_t c);
// `value` as exactly `digits` upper-case hexadecimal digits, the highest first.
std::string HexDigits(std::uint64_t value, int digits);
// The 32 upper-case digits of a 16-byte MD5 value, as a summary holds them.
void DigestDigits(const std::uint8_t (&value)[16], char (&digits)[32]);

// "154,040" for 154040: every count a person reads, on a terminal or in a
// closing line.
std::u16string GroupThousands(std::uint64_t number);

// UTF-16 to UTF-8. U+DC80..U+DCFF (not part of a pair) turn back into the
// raw byte they stand for; any other unpaired surrogate becomes U+FFFD.
std::string ToSystemBytes(std::u16string_view text);

// UTF-16 to UTF-8 that is always well-formed, for what other programs read
// as UTF-8 (a JSON report, a metrics label): an undecodable byte of a name
// as "\xff", as a terminal shows it; any other unpaired surrogate U+FFFD.
std::string ToUtf8Shown(std::u16string_view text);

}  // namespace TesselLibrary
