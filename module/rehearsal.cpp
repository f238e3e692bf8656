// What lets a script rehearse what goes wrong: Fault, Pacing, SafetyLimits and
// the members of SimulatedDriver that inject faults, watch safety limits, step
// the control loop and choose its pacing.
#include <optional>
#include <utility>

#include <pybind11/stl.h>

#include <velmor/drivers/events.hpp>
#include <velmor/drivers/faults/fault.hpp>
#include <velmor/drivers/pacing.hpp>
#include <velmor/drivers/faults/safety_limits.hpp>
#include <velmor/drivers/simulated_driver.hpp>

#include "bindings.hpp"

namespace py = pybind11;

namespace velmor::python {

namespace {

using drivers::Fault;
using drivers::Pacing;
using drivers::SafetyLimits;
using drivers::SimulatedDriver;
using drivers::Trigger;
using Release = py::call_guard<py::gil_scoped_release>;

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

void bind_pacing(py::module_& m) {
    py::enum_<Pacing>(m, "Pacing", "How a free-running control loop spaces its cycles in wall-clock time")
        .value("PauseAfterWork", Pacing::PauseAfterWork,
               "A pause of delta_time / time_speed after each cycle's work (the default)")
        .value("FixedRate", Pacing::FixedRate, "Cycles start on a fixed grid of deadlines: no drift");
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

void bind_faults(SimulatedDriverClass& simulated_driver) {
    simulated_driver
        .def(
            "inject_fault",
            [](SimulatedDriver& self, Fault fault, const std::optional<Trigger>& trigger) {
                if (trigger) {
                    self.inject_fault(fault, *trigger);
                } else {
                    self.inject_fault(fault);
                }
            },
            py::arg("fault"), py::arg("trigger") = py::none(),
            "Make the controller suffer the fault now, or arm it to strike in the first control cycle in which "
            "the trigger holds",
            Release())
        .def_property_readonly("active_fault", &SimulatedDriver::get_active_fault, "The active Fault, or None")
        .def("clear_fault", &SimulatedDriver::clear_fault,
             "Acknowledge the active fault, as resetting the controller does, and disarm every armed fault",
             Release());
}

void bind_stepping(SimulatedDriverClass& simulated_driver) {
    simulated_driver
        .def_property("safety_limits", &SimulatedDriver::get_safety_limits, &SimulatedDriver::set_safety_limits,
                      "The SafetyLimits watched in every control cycle")
        .def_property("stepping", &SimulatedDriver::is_stepping,
                      py::cpp_function(&SimulatedDriver::set_stepping, Release()),
                      "Whether the control loop advances only through step, step_until and the synchronous commands")
        .def("step", &SimulatedDriver::step, py::arg("cycles") = 1,
             "Run up to this many control cycles now; returns the number run (0 on an idle driver)", Release())
        .def("step_until", &SimulatedDriver::step_until, py::arg("trigger"),
             py::arg("max_cycles") = SimulatedDriver::default_step_limit,
             "Run control cycles until one in which the trigger holds; returns the number run, or None when "
             "max_cycles ran or the driver became idle first",
             Release())
        .def_property(
            "pacing", [](const SimulatedDriver& self) { return self.pacing.load(); },
            [](SimulatedDriver& self, Pacing value) { self.pacing = value; },
            "How the free-running control loop spaces its cycles: a Pacing");
}

}  // namespace

void bind_rehearsal_types(py::module_& m) {
    bind_fault(m);
    bind_pacing(m);
    bind_safety_limits(m);
}

void bind_rehearsal(SimulatedDriverClass& simulated_driver) {
    bind_faults(simulated_driver);
    bind_stepping(simulated_driver);
}

}  // namespace velmor::python
