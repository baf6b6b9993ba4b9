// Ids of the program's string table.
#pragma once

#include <cstdint>

inline constexpr std::uint32_t kProductName = 1000;
inline constexpr std::uint32_t kProductTitle = 1001;
inline constexpr std::uint32_t kComputeHashCaption = 1002;
inline constexpr std::uint32_t kBuildingTitle = 1003;
inline constexpr std::uint32_t kCheckingTitle = 1004;
// 1005, the maker's name, stays in the table but the program shows it nowhere.
inline constexpr std::uint32_t kFileNotFound = 1006;
inline constexpr std::uint32_t kClickOkToExit = 1007;
inline constexpr std::uint32_t kInvalidFilename = 1008;
inline constexpr std::uint32_t kInvalidHash = 1009;
inline constexpr std::uint32_t kMd5Mismatch = 1010;
inline constexpr std::uint32_t kMissingData = 1011;
inline constexpr std::uint32_t kErrorComputingMd5 = 1012;
inline constexpr std::uint32_t kUnableToWrite = 1013;
inline constexpr std::uint32_t kProductWebAddress = 1014;
inline constexpr std::uint32_t kUnableToReadFolder = 1015;
inline constexpr std::uint32_t kReplacedNotOnDisk = 1016;
