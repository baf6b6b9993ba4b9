// The processors in this process's affinity mask, so that a run confined by
// taskset or a container starts no more threads than it may use.
#include "processors.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/resource.h>
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

unsigned FreeDescriptors(unsigned ceiling) {
    // The soft limit is a default the process may lift up to the hard one.
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return ceiling;
    if (limit.rlim_cur < limit.rlim_max) {
        struct rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (::setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
    }
    if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= rlim_t{ceiling} + 1024) return ceiling;
    const int highest = static_cast<int>(limit.rlim_cur);
    int open = 0;
    for (int fd = 0; fd < highest; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1) ++open;
    }
    const unsigned free = static_cast<unsigned>(highest - open);
    return free < ceiling ? free : ceiling;
}

}  // namespace TesselLibrary
