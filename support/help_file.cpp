// ExtractHelpFile: the embedded help document written to a file.
#include "tessel_file.h"

namespace TesselLibrary {

bool ExtractHelpFile(ModuleHandle module, const char16_t* path) {
    std::uint32_t size = 0;
    const std::uint8_t* bytes = FindHelpResource(module, &size);
    if (!bytes) return false;  // no resource: no file is created
    TesselFile file(path);
    // Written beside the path, then put in its place.
    return file.Write(bytes, size) && file.Commit();
}

}  // namespace TesselLibrary
