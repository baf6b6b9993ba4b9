// The text of a local time, as log lines show it.
#include "local_time.h"

#include <cstdio>

namespace TesselLibrary {

std::u16string DateTimeText(const TesselDateTime& when) {
    char buffer[96];
    const int length = std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", when.year, when.month,
                                     when.day, when.hour, when.minute, when.second);
    std::u16string text;
    for (int i = 0; i < length && i < static_cast<int>(sizeof buffer) - 1; ++i)
        text.push_back(static_cast<char16_t>(static_cast<unsigned char>(buffer[i])));
    return text;
}

}  // namespace TesselLibrary
