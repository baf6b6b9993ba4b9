// RemoveFile on POSIX.
#include <sys/stat.h>
#include <unistd.h>

#include "tessel_file.h"
#include "text.h"

namespace TesselLibrary {

bool RemoveFile(const char16_t* path) {
    const std::string bytes = ToSystemBytes(path ? std::u16string_view(path) : std::u16string_view());
    // The counterpart of clearing FILE_ATTRIBUTE_READONLY: give the owner
    // write permission. Its result is ignored, as the design says.
    struct stat st;
    if (::lstat(bytes.c_str(), &st) == 0 && S_ISREG(st.st_mode) && !(st.st_mode & S_IWUSR)) {
        (void)::chmod(bytes.c_str(), (st.st_mode & 07777) | S_IWUSR);
    }
    return ::unlink(bytes.c_str()) == 0;
}

}  // namespace TesselLibrary
