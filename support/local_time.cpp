// The text of a local time: written and read back here alone.
#include "local_time.h"

namespace TesselLibrary {

namespace {

// `value` (not negative) in at least `digits` decimal digits.
void AppendDigits(std::u16string& text, int value, std::size_t digits) {
    const std::string number = std::to_string(value < 0 ? 0 : value);
    if (number.size() < digits) text.append(digits - number.size(), u'0');
    for (const char c : number) text.push_back(static_cast<char16_t>(c));
}

// Three numbers with `mark` between them: the first in at least `first`
// digits, the others in two.
void AppendFields(std::u16string& text, const int (&fields)[3], char16_t mark, std::size_t first) {
    AppendDigits(text, fields[0], first);
    for (const int field : {fields[1], fields[2]}) {
        text += mark;
        AppendDigits(text, field, 2);
    }
}

// The number of exactly `digits` decimal digits at `text[at]` (at least that
// many, up to nine, when `more`), with `at` moved past it.
std::optional<int> TakeDigits(std::u16string_view text, std::size_t& at, std::size_t digits, bool more) {
    std::size_t end = at;
    while (end < text.size() && end - at < 9 && text[end] >= u'0' && text[end] <= u'9') ++end;
    if (end - at < digits || (!more && end - at > digits)) return std::nullopt;
    int value = 0;
    for (; at < end; ++at) value = value * 10 + (text[at] - u'0');
    return value;
}

}  // namespace

std::u16string DateText(const TesselDateTime& when) {
    std::u16string text;
    AppendFields(text, {when.year, when.month, when.day}, u'-', 4);
    return text;
}

std::u16string DateTimeText(const TesselDateTime& when) {
    std::u16string text = DateText(when) + u' ';
    AppendFields(text, {when.hour, when.minute, when.second}, u':', 2);
    return text;
}

std::optional<TesselDateTime> DateTimeOfText(std::u16string_view text) {
    TesselDateTime when;
    // Each number, and what follows it; the year may be longer than four digits.
    const struct Part {
        int* field;
        char16_t after;
    } parts[] = {{&when.year, u'-'}, {&when.month, u'-'},  {&when.day, u' '},
                 {&when.hour, u':'}, {&when.minute, u':'}, {&when.second, u'\0'}};
    std::size_t at = 0;
    for (const Part& part : parts) {
        const bool year = part.field == &when.year;
        const std::optional<int> value = TakeDigits(text, at, year ? 4 : 2, year);
        if (!value) return std::nullopt;
        *part.field = *value;
        if (part.after == u'\0') break;
        if (at == text.size() || text[at] != part.after) return std::nullopt;
        ++at;
    }
    if (at != text.size()) return std::nullopt;
    return when;
}

}  // namespace TesselLibrary
