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

std::optional<std::int64_t> SecondsOfLocalDateTime(const TesselDateTime& when) {
    SYSTEMTIME local{};
    local.wYear = static_cast<WORD>(when.year);
    local.wMonth = static_cast<WORD>(when.month);
    local.wDay = static_cast<WORD>(when.day);
    local.wHour = static_cast<WORD>(when.hour);
    local.wMinute = static_cast<WORD>(when.minute);
    local.wSecond = static_cast<WORD>(when.second);
    SYSTEMTIME universal{};
    FILETIME ticks{};
    if (!::TzSpecificLocalTimeToSystemTime(nullptr, &local, &universal) || !::SystemTimeToFileTime(&universal, &ticks))
        return std::nullopt;
    // 100-nanosecond ticks since 1601-01-01 UTC.
    const std::uint64_t since1601 = (static_cast<std::uint64_t>(ticks.dwHighDateTime) << 32) | ticks.dwLowDateTime;
    return static_cast<std::int64_t>(since1601 / 10000000u) - 11644473600;
}

}  // namespace TesselLibrary
