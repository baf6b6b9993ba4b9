// Looking up the environment and the programs on the search path, for the
// services that hand work to other desktop programs.
#pragma once

#include <string>

namespace TesselLibrary::Posix {

// The variable's value as the system's bytes; "" when it is unset.
std::string EnvironmentBytes(const char* name);
// An X11 or Wayland session announces itself through these variables.
bool InGraphicalSession();
// Full path of the executable `name` in the first PATH folder holding one
// (the system's default path when PATH is unset); "" when there is none.
std::string FindProgram(const std::string& name);

}  // namespace TesselLibrary::Posix
