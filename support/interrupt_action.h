// What an interrupt does before the run ends: a report that is written even
// for a run that was stopped (its figures for the monitoring), so that a
// stopped run is seen as one and not as a run that never happened.
#pragma once

#include <functional>

namespace TesselLibrary {

// The action an interrupt takes first, for as long as the object lives,
// before the temporary files of unfinished replacements are removed; the
// one of the scope around it is back when it goes. The action runs on the
// interrupt's own thread while the run's threads go on: it must use only
// what it was given. An object that goes while its action runs waits for it.
class InterruptActionScope {
public:
    explicit InterruptActionScope(std::function<void()> action);
    ~InterruptActionScope();
    InterruptActionScope(const InterruptActionScope&) = delete;
    InterruptActionScope& operator=(const InterruptActionScope&) = delete;

private:
    std::function<void()> previous_;
};

// Called by the interrupt handling of each backend: takes the action in
// place, if any, once.
void RunInterruptAction();

}  // namespace TesselLibrary
