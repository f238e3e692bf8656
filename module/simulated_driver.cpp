#include <memory>
#include <string>
#include <vector>

#include <pybind11/stl.h>

#include <velmor/drivers/simulated_driver.hpp>
#include <velmor/motion/mirava.hpp>
#include <velmor/motion/planner.hpp>
#include <velmor/motion/robot.hpp>

#include "bindings.hpp"
#include "driver_lifetime.hpp"

namespace py = pybind11;

namespace velmor::python {

namespace {

using drivers::Result;
using drivers::SimulatedDriver;

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
        .def_property("mirava", &SimulatedDriver::get_mirava, &SimulatedDriver::set_mirava, "Mirava connection")
        .def_property("run_result", &SimulatedDriver::get_run_result, &SimulatedDriver::set_run_result,
                      "Result of a motion")
        .def_property("enable_result", &SimulatedDriver::get_enable_result, &SimulatedDriver::set_enable_result,
                      "Result of enabling/disabling")
        .def_property_static(
            "connect_result", [](const py::object&) { return SimulatedDriver::connect_result.load(); },
            [](const py::object&, bool value) { SimulatedDriver::connect_result = value; });
}

}  // namespace

SimulatedDriverClass declare_simulated_driver(py::module_& m) {
    return SimulatedDriverClass(m, "SimulatedDriver", "");
}

void bind_simulated_driver(SimulatedDriverClass& simulated_driver) {
    bind_constructors(simulated_driver);
    bind_settings(simulated_driver);
    simulated_driver.def("set_current_joint_position", &SimulatedDriver::set_current_joint_position,
                         py::arg("joint_position"), "Set the joint position");
    register_exit_handler();
}

}  // namespace velmor::python
