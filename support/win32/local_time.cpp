// The local time for the log's line prefix.
#include <windows.h>

#include "file_times.h"
#include "tessel_log.h"
#include "local_time.h"

namespace TesselLibrary {

namespace {

TesselDateTime DateTimeOf(const SYSTEMTIME& local) {
    TesselDateTime when;
    when.year = local.wYear;
    when.month = local.wMonth;
    when.day = local.wDay;
    when.hour = local.wHour;
    when.minute = local.wMinute;
    when.second = local.wSecond;
    return when;
}

}  // namespace

TesselDateTime LocalDateTime() {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    return DateTimeOf(now);
}

TesselDateTime LocalDateTimeOf(const FileTime& time) {
    // The time zone's rule for that day, daylight saving time included, as
    // Explorer shows a file's date.
    const FILETIME utc = Win32::FileTimeOf(time);
    SYSTEMTIME universal{};
    SYSTEMTIME local{};
    if (!::FileTimeToSystemTime(&utc, &universal) || !::SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local))
        return TesselDateTime{};
    return DateTimeOf(local);
}

}  // namespace TesselLibrary
