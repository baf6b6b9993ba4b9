// The local time, as a log line's time stamp shows it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "file_time.h"

namespace TesselLibrary {

struct TesselDateTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// The local time now.
TesselDateTime LocalDateTime();
// The local time of a moment a file time names.
TesselDateTime LocalDateTimeOf(const FileTime& time);
// The moment a local time names, in seconds since 1970-01-01 UTC, by the
// time zone's rule for that day; nothing when the system cannot say.
std::optional<std::int64_t> SecondsOfLocalDateTime(const TesselDateTime& when);
// "YYYY-MM-DD HH:MM:SS" (four digits of the year at least).
std::u16string DateTimeText(const TesselDateTime& when);

}  // namespace TesselLibrary
