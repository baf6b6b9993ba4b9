// Facts of the running process that decide how much work to do at once.
#pragma once

#include <string>

namespace TesselLibrary {

// The processors this process may run on (its affinity, where the system
// has one); at least 1.
unsigned UsableProcessors();
// How many more files (and folders) this process may hold open, at most
// `ceiling`: the limit less those open now. POSIX raises its own soft limit
// to the hard one first; Windows has no such limit and answers `ceiling`.
unsigned FreeDescriptors(unsigned ceiling);

}  // namespace TesselLibrary
