// The local time for the log's line prefix.
#include <windows.h>

#include "tessel_log.h"
#include "local_time.h"

namespace TesselLibrary {

TesselDateTime LocalDateTime() {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    TesselDateTime when;
    when.year = now.wYear;
    when.month = now.wMonth;
    when.day = now.wDay;
    when.hour = now.wHour;
    when.minute = now.wMinute;
    when.second = now.wSecond;
    return when;
}

}  // namespace TesselLibrary
