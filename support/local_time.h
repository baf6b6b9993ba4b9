// The local time, as a log line's time stamp shows it.
#pragma once

namespace TesselLibrary {

struct TesselDateTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// The local time now.
TesselDateTime LocalDateTime();

}  // namespace TesselLibrary
