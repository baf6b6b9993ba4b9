// LocalDateTime, POSIX backend: the local time from localtime_r.
#include <ctime>

#include "tessel_log.h"
#include "local_time.h"

namespace TesselLibrary {

TesselDateTime LocalDateTime() {
    TesselDateTime when;
    const std::time_t now = std::time(nullptr);
    struct tm local {};
    if (!::localtime_r(&now, &local)) return when;
    when.year = local.tm_year + 1900;
    when.month = local.tm_mon + 1;
    when.day = local.tm_mday;
    when.hour = local.tm_hour;
    when.minute = local.tm_min;
    when.second = local.tm_sec > 59 ? 59 : local.tm_sec;  // a leap second shows as :59
    return when;
}

}  // namespace TesselLibrary
