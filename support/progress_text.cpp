#include "progress_text.h"

#include <cstdio>

#include "platform.h"
#include "text.h"

namespace TesselLibrary {

namespace {

constexpr int kBarCells = 20;

// The text as one printable terminal line of at most `limit` code points:
// control characters (a newline or an escape in a file name) shown as every
// line on the terminal shows them, since they would break the display or
// steer the terminal; unpaired surrogates, which have no glyph, as U+FFFD.
std::u16string PrintableLine(std::u16string_view text, unsigned limit) {
    const std::u16string shown = ShownOnTerminal(text);
    std::u16string line;
    unsigned count = 0;
    for (std::size_t i = 0; i < shown.size() && count < limit; ++count) {
        const char32_t point = NextCodePoint(shown, i);
        AppendUtf16(line, IsSurrogate(point) ? U'\uFFFD' : point);
    }
    return line;
}

// ASCII only: what snprintf makes is numbers and punctuation.
std::u16string Widened(const char* text) {
    std::u16string wide;
    for (const char* c = text; *c != '\0'; ++c) wide += static_cast<char16_t>(*c);
    return wide;
}

// "1,073.8": megabytes to the nearest tenth, grouped as the counts beside them.
std::u16string Megabytes(std::uint64_t bytes) {
    const std::uint64_t tenths = bytes / 100000 + (bytes % 100000 >= 50000 ? 1 : 0);
    return GroupThousands(tenths / 10) + u'.' + static_cast<char16_t>(u'0' + tenths % 10);
}

// "1,234 of 20,000 files, 512.0 of 2,048.0 MB, 350.2 MB/s, 0:12 left"; the
// rate and the time left once there is something to measure them by. While
// the totals are not known: "1,234 files, 512.0 MB, 350.2 MB/s".
std::u16string CountsText(const ProgressCounts& counts, double seconds) {
    const bool measured = seconds >= 1 && counts.bytesDone > 0;
    const double rate = measured ? static_cast<double>(counts.bytesDone) / seconds : 0;
    const std::u16string rateText = u", " + Megabytes(static_cast<std::uint64_t>(rate)) + u" MB/s";
    // Damage is what a check exists to find: said first after the files.
    const std::u16string damaged = counts.damaged == 0 ? u"" : u", " + GroupThousands(counts.damaged) + u" damaged";
    if (!counts.totalsKnown) {
        std::u16string text =
            GroupThousands(counts.filesDone) + u" files" + damaged + u", " + Megabytes(counts.bytesDone) + u" MB";
        return measured ? text + rateText : text;
    }
    std::u16string text =
        GroupThousands(counts.filesDone) + u" of " + GroupThousands(counts.filesTotal) + u" files" + damaged;
    if (counts.bytesTotal > 0)
        text += u", " + Megabytes(counts.bytesDone) + u" of " + Megabytes(counts.bytesTotal) + u" MB";
    if (!measured) return text;
    text += rateText;
    if (counts.bytesTotal > counts.bytesDone) {
        const auto left = static_cast<std::uint64_t>(static_cast<double>(counts.bytesTotal - counts.bytesDone) / rate);
        char time[32];
        std::snprintf(time, sizeof time, ", %llu:%02llu left", static_cast<unsigned long long>(left / 60),
                      static_cast<unsigned long long>(left % 60));
        text += Widened(time);
    }
    return text;
}

// "[#####---------------]  25%"
std::u16string BarLine(std::uint32_t position) {
    const std::uint32_t percent = position > 100 ? 100 : position;
    const int filled = static_cast<int>(percent) * kBarCells / 100;
    std::u16string line = u"[";
    line.append(static_cast<std::size_t>(filled), u'#');
    line.append(static_cast<std::size_t>(kBarCells - filled), u'-');
    char number[8];
    std::snprintf(number, sizeof number, "] %3u%%", static_cast<unsigned>(percent));
    return line + Widened(number);
}

}  // namespace

std::array<std::u16string, 3> ProgressLines(const ProgressState& state, unsigned columns) {
    const unsigned limit = columns > 1 ? columns - 1 : 1;
    std::u16string bar = BarLine(state.position);
    if (state.counts) bar += u"  " + CountsText(*state.counts, state.seconds);
    return {PrintableLine(state.title, limit), PrintableLine(bar, limit), PrintableLine(state.status, limit)};
}

std::u16string PathWithMiddleCut(const std::u16string& path, const std::function<bool(const std::u16string&)>& fits) {
    if (fits(path)) return path;
    const std::u16string ellipsis = u"...";
    const std::size_t first = path.find_first_of(kPathSeparators);
    std::u16string head = first == std::u16string::npos ? u"" : path.substr(0, first + 1);
    if (!fits(head + ellipsis)) head.clear();
    // The longest end that fits; a longer one never fits where a shorter
    // one does not.
    std::size_t low = 0;
    std::size_t high = path.size() - head.size();
    while (low < high) {
        const std::size_t length = (low + high + 1) / 2;
        if (fits(head + ellipsis + path.substr(path.size() - length))) {
            low = length;
        } else {
            high = length - 1;
        }
    }
    std::u16string tail = path.substr(path.size() - low);
    // Not half of a character made of two code units.
    if (!tail.empty() && tail[0] >= 0xDC00 && tail[0] <= 0xDFFF) tail.erase(0, 1);
    // From a separator on, when the last two names are still whole then.
    const std::size_t cut = tail.find_first_of(kPathSeparators);
    if (cut != std::u16string::npos && cut != 0 && tail.find_first_of(kPathSeparators, cut + 1) != std::u16string::npos)
        tail.erase(0, cut);
    return head + ellipsis + tail;
}

}  // namespace TesselLibrary
