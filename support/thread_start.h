// Starting a thread the run cannot do without. When the system refuses one
// (its limit on processes or threads reached, or no memory left for another
// stack) the run cannot go on: ThreadNotStarted is thrown and, like running
// out of memory, reaches the entry point, whose one line on standard error
// says which thread could not start and why.
#pragma once

#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include "text.h"

namespace TesselLibrary {

class ThreadNotStarted : public std::runtime_error {
public:
    // `thread` names it as the line shows it; `why` is the system's reason.
    ThreadNotStarted(const std::u16string& thread, const std::string& why)
        : std::runtime_error("could not start " + ToSystemBytes(thread) + " (" + why + ")") {}
};

// std::thread(arguments...), or ThreadNotStarted naming `thread`.
template <typename... Arguments>
std::thread StartThread(const std::u16string& thread, Arguments&&... arguments) {
    try {
        return std::thread(std::forward<Arguments>(arguments)...);
    } catch (const std::system_error& error) {
        throw ThreadNotStarted(thread, error.what());
    }
}

}  // namespace TesselLibrary
