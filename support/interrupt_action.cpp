#include "interrupt_action.h"

#include <mutex>
#include <utility>

namespace TesselLibrary {

namespace {

struct InterruptAction {
    std::mutex mutex;
    std::function<void()> action;
    bool taken = false;
};

// Never destroyed: an interrupt may arrive while the process is ending.
InterruptAction& Action() {
    static InterruptAction& action = *new InterruptAction;
    return action;
}

}  // namespace

InterruptActionScope::InterruptActionScope(std::function<void()> action) {
    InterruptAction& held = Action();
    std::lock_guard<std::mutex> lock(held.mutex);
    previous_ = std::exchange(held.action, std::move(action));
}

InterruptActionScope::~InterruptActionScope() {
    InterruptAction& held = Action();
    std::lock_guard<std::mutex> lock(held.mutex);
    held.action = std::move(previous_);
}

void RunInterruptAction() {
    InterruptAction& held = Action();
    std::lock_guard<std::mutex> lock(held.mutex);
    // A second interrupt while the process ends takes nothing again.
    if (held.taken || !held.action) return;
    held.taken = true;
    held.action();
}

}  // namespace TesselLibrary
