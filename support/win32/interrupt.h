// Win32 backend, private: the end of an interrupted run, the same whether
// the user pressed Ctrl+C in the console or stopped the job from its window.
#pragma once

namespace TesselLibrary::Win32 {

// Removes the temporary files of unfinished replacements (the files they
// replace stay as they were), writes the interrupt notice on standard
// error, and ends the process with exit code 1. Any thread may call it.
[[noreturn]] void EndAsInterrupted();

}  // namespace TesselLibrary::Win32
