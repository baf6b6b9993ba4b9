// The local time, as a log line's time stamp shows it.
#pragma once

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
// "YYYY-MM-DD HH:MM:SS" (four digits of the year at least).
std::u16string DateTimeText(const TesselDateTime& when);

}  // namespace TesselLibrary
