// A FILETIME (100-nanosecond ticks since 1601-01-01 UTC) as the program's
// FileTime, and back.
#pragma once

#include <windows.h>

#include "file_time.h"

namespace TesselLibrary::Win32 {

// Ticks between 1601-01-01 and 1970-01-01.
inline constexpr std::int64_t kTicksTo1970 = 116444736000000000LL;

inline FileTime TimeOf(const FILETIME& time) {
    const std::int64_t ticks =
        static_cast<std::int64_t>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime) -
        kTicksTo1970;
    std::int64_t seconds = ticks / 10000000;
    std::int64_t rest = ticks % 10000000;
    if (rest < 0) {
        rest += 10000000;
        seconds -= 1;
    }
    return FileTime{seconds, static_cast<std::uint32_t>(rest * 100)};
}

inline FILETIME FileTimeOf(const FileTime& time) {
    const std::uint64_t ticks =
        static_cast<std::uint64_t>(time.seconds * 10000000 + time.nanoseconds / 100 + kTicksTo1970);
    FILETIME out{};
    out.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFu);
    out.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return out;
}

}  // namespace TesselLibrary::Win32
