// The user's desktop folder, where the log goes by default.
#include <windows.h>
#include <shlobj.h>

#include "tessel_log.h"
#include "wide.h"
#include "desktop_folder.h"

namespace TesselLibrary {

std::u16string DesktopFolder() {
    wchar_t buffer[MAX_PATH] = {};
    if (!::SHGetSpecialFolderPathW(nullptr, buffer, CSIDL_DESKTOP, TRUE)) return {};
    return Win32::Utf16(buffer);
}

}  // namespace TesselLibrary
