#include "text.h"

namespace TesselLibrary {

namespace {

// Length of the UTF-8 sequence at `i` in its shortest form, or 0 when the
// byte there does not start one (a stray continuation byte, a sequence cut
// short, an overlong form, a value past U+10FFFF).
std::size_t SequenceLength(std::string_view bytes, std::size_t i, char32_t& codePoint) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
    const unsigned char lead = byte(i);
    std::size_t length;
    char32_t value;
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
    } else {
        return 0;
    }
    if (i + length > bytes.size()) return 0;
    for (std::size_t k = 1; k < length; ++k) {
        const unsigned char next = byte(i + k);
        if ((next & 0xC0) != 0x80) return 0;
        value = (value << 6) | (next & 0x3F);
    }
    if ((length == 3 && value < 0x800) || (length == 4 && (value < 0x10000 || value > 0x10FFFF))) return 0;
    codePoint = value;
    return length;
}

// Well-formed UTF-8 carries no surrogate code points.
bool IsScalarValue(char32_t codePoint) { return !IsSurrogate(codePoint); }

}  // namespace

char32_t NextCodePoint(std::u16string_view text, std::size_t& i) {
    const char32_t unit = text[i++];
    if (IsHighSurrogate(unit) && i < text.size() && IsLowSurrogate(text[i])) {
        return 0x10000 + ((unit - 0xD800) << 10) + (text[i++] - 0xDC00);
    }
    return unit;
}

void AppendUtf16(std::u16string& out, char32_t codePoint) {
    if (codePoint < 0x10000) {
        out.push_back(static_cast<char16_t>(codePoint));
    } else {
        codePoint -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (codePoint >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF)));
    }
}

void AppendUtf8(std::string& out, char32_t codePoint) {
    if (codePoint < 0x80) {
        out.push_back(static_cast<char>(codePoint));
    } else if (codePoint < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else if (codePoint < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (codePoint >> 18)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    }
}

std::u16string DecodeUtf8(std::string_view bytes, bool (*take)(char32_t codePoint), char16_t escapeBase) {
    std::u16string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        char32_t codePoint = 0;
        const std::size_t length = SequenceLength(bytes, i, codePoint);
        if (length != 0 && take(codePoint)) {
            AppendUtf16(out, codePoint);
            i += length;
        } else {
            out.push_back(static_cast<char16_t>(escapeBase + static_cast<unsigned char>(bytes[i])));
            ++i;
        }
    }
    return out;
}

std::u16string FromSystemBytes(std::string_view bytes) { return DecodeUtf8(bytes, IsScalarValue, 0xDC00); }

std::string ToSystemBytes(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const char32_t codePoint = NextCodePoint(text, i);
        if (IsByteEscape(codePoint)) {
            out.push_back(static_cast<char>(codePoint - 0xDC00));  // a raw byte that came in undecodable
        } else if (IsSurrogate(codePoint)) {
            AppendUtf8(out, 0xFFFD);
        } else {
            AppendUtf8(out, codePoint);
        }
    }
    return out;
}

std::string ToUtf8Shown(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const char32_t codePoint = NextCodePoint(text, i);
        if (IsByteEscape(codePoint)) {
            const unsigned byte = codePoint - 0xDC00;
            out += "\\x";
            out.push_back(HexDigit(byte >> 4, true));
            out.push_back(HexDigit(byte, true));
        } else {
            AppendUtf8(out, IsSurrogate(codePoint) ? 0xFFFD : codePoint);
        }
    }
    return out;
}

namespace {

// The one escaping loop: each code point `escape` answers for is replaced by
// what it appends; a surrogate pair is one code point, never split.
template <typename Escape>
std::u16string Escaped(std::u16string_view text, Escape escape) {
    std::u16string shown;
    shown.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t start = i;
        if (!escape(NextCodePoint(text, i), shown)) shown.append(text.substr(start, i - start));
    }
    return shown;
}

// `prefix`, then the lowest `digits` hexadecimal digits of `value`.
void AppendEscape(std::u16string& shown, const char16_t* prefix, unsigned value, int digits) {
    shown += prefix;
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) shown.push_back(HexDigit((value >> shift) & 0xF, true));
}

}  // namespace

std::u16string ShownInLogLine(std::u16string_view text) {
    return Escaped(text, [](char32_t c, std::u16string& shown) {
        if (c != u'\r' && c != u'\n') return false;
        shown += c == u'\r' ? u"\\r" : u"\\n";
        return true;
    });
}

std::u16string ShownOnTerminal(std::u16string_view text) {
    return Escaped(text, [](char32_t c, std::u16string& shown) {
        if (IsByteEscape(c)) {
            AppendEscape(shown, u"\\x", c - 0xDC00, 2);
        } else if (c < 0x20 || c == 0x7F) {
            AppendEscape(shown, u"\\x", c, 2);
        } else if (c >= 0x80 && c <= 0x9F) {
            AppendEscape(shown, u"\\u", c, 4);
        } else {
            return false;
        }
        return true;
    });
}

char HexDigit(unsigned value, bool lowerCase) {
    return (lowerCase ? "0123456789abcdef" : "0123456789ABCDEF")[value & 0xF];
}

int HexValue(char32_t c) {
    if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
    if (c >= 'A' && c <= 'F') return static_cast<int>(c - 'A' + 10);
    if (c >= 'a' && c <= 'f') return static_cast<int>(c - 'a' + 10);
    return -1;
}

std::string HexDigits(std::uint64_t value, int digits) {
    std::string text(static_cast<std::size_t>(digits), '0');
    for (int k = digits - 1; k >= 0; --k, value >>= 4) text[static_cast<std::size_t>(k)] = HexDigit(value & 0xF);
    return text;
}

void DigestDigits(const std::uint8_t (&value)[16], char (&digits)[32]) {
    for (int k = 0; k < 16; ++k) {
        digits[2 * k] = HexDigit(value[k] >> 4);
        digits[2 * k + 1] = HexDigit(value[k] & 0x0F);
    }
}

std::u16string GroupThousands(std::uint64_t number) {
    const std::string digits = std::to_string(number);
    std::u16string grouped;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) grouped += u',';
        grouped += static_cast<char16_t>(digits[i]);
    }
    return grouped;
}

}  // namespace TesselLibrary
