// Win32 backend, private: whether the help viewer has opened its window in
// this process, so that the boxes shown while it is up stay above it.
#pragma once

namespace TesselLibrary::Win32 {

bool HelpWindowShown();

}  // namespace TesselLibrary::Win32
