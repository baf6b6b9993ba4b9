// ExtractHelpFile: the embedded help document written to a file.
#include "tessel_file.h"
#include "help_file.h"

namespace TesselLibrary {

bool ExtractHelpFile(ModuleHandle module, const char16_t* path) {
    std::uint32_t size = 0;
    const std::uint8_t* bytes = FindHelpResource(module, &size);
    if (!bytes) return false;  // no resource: no file is created
    // Replaced whole, never written through a link: the temporary folder is
    // shared with every other user.
    TesselFile file(path);
    return file.Write(bytes, size) && file.Commit();
}

}  // namespace TesselLibrary
