// Which files are large: read as one stream from their start to their end
// (read ahead by a second thread, the system's own read-ahead on a rotating
// disk) rather than in a lane beside others, and watched while they are
// read. One threshold for every engine and order, so that a file is large
// or not whatever disk it is on.
#pragma once

#include <cstdint>

constexpr std::uint64_t kLargeFileFrom = std::uint64_t{16} << 20;

constexpr bool IsLargeFile(std::uint64_t size) { return size >= kLargeFileFrom; }
