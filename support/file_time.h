// When a file was last written, as the system keeps it: on POSIX st_mtim,
// on Windows LastWriteTime (100-nanosecond ticks since 1601, converted), in
// seconds and nanoseconds since 1970-01-01 UTC.
#pragma once

#include <compare>
#include <cstdint>

namespace TesselLibrary {

struct FileTime {
    std::int64_t seconds = 0;
    std::uint32_t nanoseconds = 0;
    auto operator<=>(const FileTime&) const = default;
};

}  // namespace TesselLibrary
