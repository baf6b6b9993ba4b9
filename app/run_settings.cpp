#include "run_settings.h"

#include "path.h"

using namespace TesselLibrary;

std::u16string RunSettings::summaryPath() const {
    std::u16string path = folder;
    AppendBackslash(path);
    return path + summaryName;
}
