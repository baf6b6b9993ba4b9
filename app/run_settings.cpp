#include "run_settings.h"

#include "path.h"

using namespace TesselLibrary;

std::u16string RunSettings::folderPath() const { return WithSeparator(folder); }

std::u16string RunSettings::summaryPath() const { return folderPath() + summaryName; }
