// POSIX backend, private: a system call asked again when a signal cut it
// short, the one way the backend does so.
#pragma once

#include <cerrno>

namespace TesselLibrary::Posix {

// Makes `call` (a system call answering -1 and errno on failure) until it is
// not interrupted by a signal, and returns its last answer. Not for close(2):
// on Linux its descriptor is gone even when it answers EINTR, and a second
// close could close a descriptor another thread has just been given.
template <typename Call>
auto RetryOnInterrupt(Call call) -> decltype(call()) {
    for (;;) {
        const auto result = call();
        if (result != -1 || errno != EINTR) return result;
    }
}

}  // namespace TesselLibrary::Posix
