// The local time, as a log line's time stamp shows it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "file_time.h"

namespace TesselLibrary {

struct TesselDateTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    bool operator==(const TesselDateTime&) const = default;
};

// The local time now.
TesselDateTime LocalDateTime();
// The local time of a moment a file time names.
TesselDateTime LocalDateTimeOf(const FileTime& time);
// The moment a local time names, in seconds since 1970-01-01 UTC, by the
// time zone's rule for that day; nothing when the system cannot say.
std::optional<std::int64_t> SecondsOfLocalDateTime(const TesselDateTime& when);
// The one way the program writes a date and reads it back: "YYYY-MM-DD
// HH:MM:SS" (four digits of the year at least), as log lines, reports and
// the place of a check in slices hold it; the day alone, "YYYY-MM-DD", as
// closing lines and the names of healed copies show it.
std::u16string DateTimeText(const TesselDateTime& when);
std::u16string DateText(const TesselDateTime& when);
// The date and time DateTimeText wrote; nothing for any other text.
std::optional<TesselDateTime> DateTimeOfText(std::u16string_view text);

}  // namespace TesselLibrary
