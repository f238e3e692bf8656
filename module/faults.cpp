// What goes wrong on the simulated controller: Fault, and the SafetyLimits
// whose breach is one.
#include <optional>
#include <string>
#include <utility>

#include <pybind11/stl.h>

#include <velmor/drivers/faults/fault.hpp>
#include <velmor/drivers/faults/safety_limits.hpp>

#include "bindings.hpp"

namespace py = pybind11;

namespace velmor::python {

using drivers::Fault;
using drivers::SafetyLimits;

void bind_fault(py::module_& m) {
    py::enum_<Fault>(m, "Fault", "A controller fault that SimulatedDriver.inject_fault makes the controller suffer")
        .value("ControllerError", Fault::ControllerError, "A general controller error (Result.ErrorController)")
        .value("EStop", Fault::EStop, "The emergency stop: the robot stands at once")
        .value("SafetyViolation", Fault::SafetyViolation, "A safety limit was broken")
        .value("Alarm", Fault::Alarm, "An alarm")
        .value("NotInAutoMode", Fault::NotInAutoMode, "The controller left automatic mode")
        .value("NotInRemoteMode", Fault::NotInRemoteMode, "The controller left remote mode")
        .value("Hold", Fault::Hold, "A hold: the robot slows to a standstill on its path; resume() goes on once cleared")
        .value("MotorsDisabled", Fault::MotorsDisabled, "The motors were switched off")
        .value("ProgramStopped", Fault::ProgramStopped, "The controller's program stopped")
        .value("StopFailed", Fault::StopFailed, "Stop commands fail")
        .value("ConnectionLost", Fault::ConnectionLost, "The connection broke; reconnect() restores it")
        .def_property_readonly("result", &drivers::fault_result, "The Result that commands report while it is active");
}

namespace {

// The driver hands out a copy of its limits, so a field set on it would change
// nothing: the fields are read-only and their setters say what to do instead.
[[noreturn]] void refuse_field_change(const std::string& field) {
    throw py::attribute_error("SafetyLimits is immutable: assign a whole value, driver.safety_limits = "
                              "SafetyLimits(...) or driver.safety_limits = driver.safety_limits.replace(" +
                              field + "=...)");
}

template <typename Value>
void bind_field(py::class_<SafetyLimits>& limits, const char* name, Value SafetyLimits::*field, const char* doc) {
    limits.def_property(
        name, [field](const SafetyLimits& self) { return self.*field; },
        [name = std::string(name)](SafetyLimits&, const py::object&) { refuse_field_change(name); }, doc);
}

SafetyLimits replaced(const SafetyLimits& limits, const py::kwargs& changes) {
    SafetyLimits changed = limits;
    for (const auto& [key, value] : changes) {
        const auto name = key.cast<std::string>();
        if (name == "joint_position") {
            changed.joint_position = value.cast<bool>();
        } else if (name == "joint_velocity") {
            changed.joint_velocity = value.cast<bool>();
        } else if (name == "workspace") {
            changed.workspace = value.cast<std::optional<velmor::Box>>();
        } else {
            throw py::type_error("SafetyLimits.replace() got an unexpected keyword argument '" + name +
                                 "'; the fields are joint_position, joint_velocity and workspace");
        }
    }
    return changed;
}

}  // namespace

void bind_safety_limits(py::module_& m) {
    py::class_<SafetyLimits> limits(m, "SafetyLimits",
                                    "Limits that the simulated controller watches in every control cycle; an "
                                    "immutable value, assigned whole to SimulatedDriver.safety_limits");
    limits.def(py::init([](bool joint_position, bool joint_velocity, std::optional<velmor::Box> workspace) {
                   return SafetyLimits {joint_position, joint_velocity, std::move(workspace)};
               }),
               py::arg("joint_position") = false, py::arg("joint_velocity") = false, py::arg("workspace") = py::none());
    bind_field(limits, "joint_position", &SafetyLimits::joint_position,
               "Keep every joint within the robot's position limits");
    bind_field(limits, "joint_velocity", &SafetyLimits::joint_velocity,
               "Keep every joint's speed within the robot's velocity limit");
    bind_field(limits, "workspace", &SafetyLimits::workspace,
               "A velmor.Box that the tool centre point of every arm must stay in, or None");
    limits.def("replace", &replaced,
               "A copy with the fields given as keywords changed, e.g. limits.replace(joint_position=True)");
}

}  // namespace velmor::python
