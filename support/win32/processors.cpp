// The processors in this process's affinity mask (within its processor
// group), and how many files it may still open.
#include <windows.h>

#include <vector>

#include "processors.h"

namespace TesselLibrary {

unsigned UsableProcessors() {
    DWORD_PTR process = 0;
    DWORD_PTR system = 0;
    unsigned count = 0;
    if (::GetProcessAffinityMask(::GetCurrentProcess(), &process, &system)) {
        for (; process != 0; process &= process - 1) ++count;
    }
    return count > 0 ? count : 1;
}

unsigned FreeDescriptors(unsigned ceiling) { return ceiling; }

}  // namespace TesselLibrary
