#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <velmor/drivers/events.hpp>
#include <velmor/drivers/faults/fault.hpp>
#include <velmor/drivers/pacing.hpp>
#include <velmor/drivers/faults/safety_limits.hpp>
#include <velmor/drivers/simulated_driver.hpp>
#include <velmor/motion/mirava.hpp>
#include <velmor/motion/planner.hpp>
#include <velmor/motion/robot.hpp>

#include "bindings.hpp"
#include "driver_lifetime.hpp"

namespace py = pybind11;

namespace velmor::python {

namespace {

using drivers::Fault;
using drivers::Pacing;
using drivers::Result;
using drivers::SimulatedDriver;
using drivers::Trigger;
using Release = py::call_guard<py::gil_scoped_release>;

void bind_constructors(SimulatedDriverClass& simulated_driver) {
    simulated_driver
        .def(py::init([](std::shared_ptr<Planner> planner, bool sync_with_mirava, bool log_stream,
                         bool serve_io_viewer, bool keep_io_viewer_running, const std::string& host, int port) {
                 return hold(new SimulatedDriver(std::move(planner), sync_with_mirava, log_stream, serve_io_viewer,
                                                 keep_io_viewer_running, host, port));
             }),
             py::arg("planner"), py::arg("sync_with_mirava") = false, py::arg("log_stream") = false,
             py::arg("serve_io_viewer") = false, py::arg("keep_io_viewer_running") = false,
             py::arg("host") = "192.168.0.1", py::arg("port") = 8000)
        .def(py::init([](std::shared_ptr<Planner> planner, std::shared_ptr<Robot> robot, bool sync_with_mirava,
                         bool log_stream, bool serve_io_viewer, bool keep_io_viewer_running, const std::string& host,
                         int port) {
                 return hold(new SimulatedDriver(std::move(planner), std::move(robot), sync_with_mirava, log_stream,
                                                 serve_io_viewer, keep_io_viewer_running, host, port));
             }),
             py::arg("planner"), py::arg("robot"), py::arg("sync_with_mirava") = false, py::arg("log_stream") = false,
             py::arg("serve_io_viewer") = false, py::arg("keep_io_viewer_running") = false,
             py::arg("host") = "192.168.0.1", py::arg("port") = 8000);
}

// run_result and enable_result are copied in and out under the driver's lock,
// as the control loop reads them concurrently.
void bind_settings(SimulatedDriverClass& simulated_driver) {
    simulated_driver
        .def_property(
            "time_speed", [](const SimulatedDriver& self) { return self.time_speed.load(); },
            [](SimulatedDriver& self, double value) { self.time_speed = value; },
            "Simulated time speed for the control cycle (does not affect velocities\nand accelerations)")
        .def_property("strict_io", &SimulatedDriver::is_strict_io, &SimulatedDriver::set_strict_io,
                      "Whether reading or writing an unknown I/O signal, or one of the other kind, raises an error "
                      "naming it instead of answering None or False")
        .def_property("mirava", &SimulatedDriver::get_mirava, &SimulatedDriver::set_mirava, "Mirava connection")
        .def_property("run_result", &SimulatedDriver::get_run_result, &SimulatedDriver::set_run_result,
                      "Result of a motion")
        .def_property("enable_result", &SimulatedDriver::get_enable_result, &SimulatedDriver::set_enable_result,
                      "Result of enabling/disabling")
        .def_property_static(
            "connect_result", [](const py::object&) { return SimulatedDriver::connect_result.load(); },
            [](const py::object&, bool value) { SimulatedDriver::connect_result = value; });
}

void bind_io(SimulatedDriverClass& simulated_driver) {
    simulated_driver
        .def("create_io", &SimulatedDriver::create_io, py::arg("name"), py::arg("default_value"),
             py::arg("direction") = py::none(), "Create a simulated I/O")
        .def("load_io_config", &SimulatedDriver::load_io_config, py::arg("config"))
        .def("load_io_config_from_file", &SimulatedDriver::load_io_config_from_file, py::arg("file"));
}

void bind_fault_injection(SimulatedDriverClass& simulated_driver) {
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
             "Acknowledge the active fault, as resetting the controller does, and disarm every armed fault; "
             "after a SafetyViolation only motions back within the safety limits run until the robot is",
             Release());
}

void bind_safety_and_stepping(SimulatedDriverClass& simulated_driver) {
    simulated_driver
        .def_property("safety_limits", &SimulatedDriver::get_safety_limits, &SimulatedDriver::set_safety_limits,
                      "The SafetyLimits watched in every control cycle, assigned whole")
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

SimulatedDriverClass bind_simulated_driver(py::module_& m) {
    SimulatedDriverClass simulated_driver(m, "SimulatedDriver", "");
    // The nested classes come before the members whose signatures name them.
    bind_signal(simulated_driver);
    bind_controller(simulated_driver);
    bind_constructors(simulated_driver);
    bind_settings(simulated_driver);
    bind_simulated_time(simulated_driver);
    simulated_driver.def("set_current_joint_position", &SimulatedDriver::set_current_joint_position,
                         py::arg("joint_position"), "Set the joint position",
                         py::call_guard<py::gil_scoped_release>());
    bind_io(simulated_driver);
    register_exit_handler();
    return simulated_driver;
}

void bind_simulated_driver_faults_and_stepping(SimulatedDriverClass& simulated_driver) {
    bind_fault_injection(simulated_driver);
    bind_safety_and_stepping(simulated_driver);
}

}  // namespace velmor::python
