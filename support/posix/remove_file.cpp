// RemoveFile on POSIX: unlink(2) removes a read-only file as well (the
// folder's permission decides) and removes a link itself, never its target,
// so nothing about the file is changed first.
#include <unistd.h>

#include "tessel_file.h"
#include "text.h"
#include "remove_file.h"

namespace TesselLibrary {

bool RemoveFile(const char16_t* path) {
    const std::string bytes = ToSystemBytes(path ? std::u16string_view(path) : std::u16string_view());
    return ::unlink(bytes.c_str()) == 0;
}

// The name is free after unlink(2), whoever holds the file open.
bool RemoveUnheldFile(const char16_t* path) { return RemoveFile(path); }

}  // namespace TesselLibrary
