// The marks live on the stack of the thread that runs the cycles, linked from the
// innermost one: marking allocates nothing, as a cycle must not.
#include <velmor/drivers/driver.hpp>

namespace velmor::drivers {

// The default model, not initial-exec: the Python module loads this library late,
// and initial-exec would take the static TLS surplus that other late-loaded
// libraries may have used up, failing the import.
thread_local const Driver::ControlCycle* Driver::ControlCycle::innermost {nullptr};

bool Driver::in_control_cycle() {
    return ControlCycle::on_this_thread(nullptr);
}

bool Driver::in_own_control_cycle() const {
    return ControlCycle::on_this_thread(this);
}

Driver::ControlCycle::ControlCycle(const Driver& driver) : driver(driver), outer(innermost) {
    innermost = this;
}

Driver::ControlCycle::~ControlCycle() {
    innermost = outer;
}

bool Driver::ControlCycle::on_this_thread(const Driver* driver) {
    for (const ControlCycle* cycle = innermost; cycle != nullptr; cycle = cycle->outer) {
        if (driver == nullptr || &cycle->driver == driver) {
            return true;
        }
    }
    return false;
}

}  // namespace velmor::drivers
