// LocalDateTime, POSIX backend: the local time from localtime_r.
#include <ctime>

#include "tessel_log.h"
#include "local_time.h"

namespace TesselLibrary {

namespace {

TesselDateTime LocalDateTimeAt(std::time_t moment) {
    TesselDateTime when;
    struct tm local {};
    if (!::localtime_r(&moment, &local)) return when;
    when.year = local.tm_year + 1900;
    when.month = local.tm_mon + 1;
    when.day = local.tm_mday;
    when.hour = local.tm_hour;
    when.minute = local.tm_min;
    when.second = local.tm_sec > 59 ? 59 : local.tm_sec;  // a leap second shows as :59
    return when;
}

}  // namespace

TesselDateTime LocalDateTime() { return LocalDateTimeAt(std::time(nullptr)); }

TesselDateTime LocalDateTimeOf(const FileTime& time) { return LocalDateTimeAt(static_cast<std::time_t>(time.seconds)); }

std::optional<std::int64_t> SecondsOfLocalDateTime(const TesselDateTime& when) {
    struct tm local {};
    local.tm_year = when.year - 1900;
    local.tm_mon = when.month - 1;
    local.tm_mday = when.day;
    local.tm_hour = when.hour;
    local.tm_min = when.minute;
    local.tm_sec = when.second;
    local.tm_isdst = -1;  // whether daylight saving time held then: the zone's rule says
    const std::time_t moment = ::mktime(&local);
    if (moment == static_cast<std::time_t>(-1)) return std::nullopt;
    return static_cast<std::int64_t>(moment);
}

}  // namespace TesselLibrary
