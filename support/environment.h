// The process's environment variables.
#pragma once

#include <string>

namespace TesselLibrary {

// The value of an environment variable; empty when it is not set.
std::u16string EnvironmentValue(const std::u16string& name);

}  // namespace TesselLibrary
