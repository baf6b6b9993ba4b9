// The processors in this process's affinity mask, so that a run confined by
// taskset or a container starts no more threads than it may use.
#include "processors.h"

#include <sched.h>
#include <unistd.h>

#include <cstdlib>

#include "text.h"

namespace TesselLibrary {

unsigned UsableProcessors() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        const int count = CPU_COUNT(&set);
        if (count > 0) return static_cast<unsigned>(count);
    }
    const long online = sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? static_cast<unsigned>(online) : 1;
}

std::u16string EnvironmentValue(const std::u16string& name) {
    const char* value = std::getenv(ToSystemBytes(name).c_str());
    return value != nullptr ? FromSystemBytes(value) : std::u16string();
}

}  // namespace TesselLibrary
