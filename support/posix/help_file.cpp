// The embedded help on POSIX: no resources, so the help page is compiled
// into the executable.
#include "embedded.h"
#include "tessel_file.h"
#include "help_file.h"

namespace TesselLibrary {

const std::uint8_t* FindHelpResource(ModuleHandle /*module*/, std::uint32_t* size) {
    const std::uint32_t length = Embedded::helpPage_size;
    if (size) *size = length;
    return length ? Embedded::helpPage : nullptr;
}

}  // namespace TesselLibrary
