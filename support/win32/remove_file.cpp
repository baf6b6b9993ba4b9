// RemoveFile on Windows.
#include <windows.h>

#include "tessel_file.h"
#include "wide.h"

namespace TesselLibrary {

bool RemoveFile(const char16_t* path) {
    const wchar_t* name = Win32::Wide(path ? path : u"");
    ::SetFileAttributesW(name, FILE_ATTRIBUTE_NORMAL);  // read-only, hidden and system files too
    return ::DeleteFileW(name) != 0;
}

}  // namespace TesselLibrary
