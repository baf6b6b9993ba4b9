// Win32 backend, private: a path as every wide-character call accepts it,
// whatever its length.
#pragma once

#include <string>

namespace TesselLibrary::Win32 {

// The path in the "\\?\" form (drive paths "\\?\C:\...", shares
// "\\?\UNC\server\share\..."), made from the full path the system itself
// derives (relative parts, "." and "..", "/" and doubled separators resolved
// as any call would), so that paths of MAX_PATH characters or more work in
// every call. Paths already in a device form ("\\?\", "\\.\", "\??\"), and
// texts the system cannot make a full path of, are returned unchanged.
std::wstring SystemPath(const std::u16string& path);

}  // namespace TesselLibrary::Win32
