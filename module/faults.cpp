// What goes wrong on the simulated controller: Fault, and the SafetyLimits
// whose breach is one.
#include <optional>
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

void bind_safety_limits(py::module_& m) {
    py::class_<SafetyLimits>(m, "SafetyLimits", "Limits that the simulated controller watches in every control cycle")
        .def(py::init([](bool joint_position, bool joint_velocity, std::optional<velmor::Box> workspace) {
                 return SafetyLimits {joint_position, joint_velocity, std::move(workspace)};
             }),
             py::arg("joint_position") = false, py::arg("joint_velocity") = false, py::arg("workspace") = py::none())
        .def_readwrite("joint_position", &SafetyLimits::joint_position,
                       "Keep every joint within the robot's position limits")
        .def_readwrite("joint_velocity", &SafetyLimits::joint_velocity,
                       "Keep every joint's speed within the robot's velocity limit")
        .def_readwrite("workspace", &SafetyLimits::workspace,
                       "A velmor.Box that the tool centre point of every arm must stay in, or None");
}

}  // namespace velmor::python
