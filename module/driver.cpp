#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <velmor/drivers/driver.hpp>
#include <velmor/drivers/recording/recording.hpp>
#include <velmor/motion/robot_arm.hpp>

#include "bindings.hpp"
#include "script_future.hpp"

namespace py = pybind11;

namespace velmor::python {

namespace {

using drivers::Driver;
using drivers::Goal;
using drivers::Result;
using Release = py::call_guard<py::gil_scoped_release>;

void bind_attributes(py::class_<Driver, std::shared_ptr<Driver>>& driver) {
    driver.def_property_readonly("host", &Driver::get_host, "The host address of the robot controller")
        .def_property_readonly("port", &Driver::get_port, "The port of the robot controller")
        .def_property_readonly("degrees_of_freedom", &Driver::get_degrees_of_freedom,
                               "Degrees of freedom of the robot")
        .def_property_readonly("delta_time", &Driver::get_delta_time, "Control interval of the robot's driver")
        .def_readwrite("connect_timeout", &Driver::connect_timeout, "Timeout for reconnecting to the robot")
        .def_readwrite("monitor_path_deviation", &Driver::monitor_path_deviation,
                       "Monitor the path deviation between planned and executed trajectory")
        .def_readwrite("path_deviation_error_threshold", &Driver::path_deviation_error_threshold, "")
        .def_property(
            "log_motions", [](const Driver& self) { return self.log_motions.load(); },
            [](Driver& self, bool value) { self.log_motions = value; }, "Whether to log motions");
}

// disconnect waits for a running motion to end, so it runs without the
// interpreter lock: a script action fired by that motion needs the lock.
void bind_connection_and_state(py::class_<Driver, std::shared_ptr<Driver>>& driver) {
    driver
        .def_property("speed", &Driver::get_speed, static_cast<void (Driver::*)(double)>(&Driver::set_speed))
        .def("set_speed", static_cast<void (Driver::*)(double, double)>(&Driver::set_speed), py::arg("speed"),
             py::arg("duration"))
        .def("reconnect", &Driver::reconnect,
             "Connect to the robot, in particular after an external disconnection.\nReturns reconnection success.")
        .def("disconnect", &Driver::disconnect, "Disconnect from the robot. Returns disconnection success.",
             Release())
        .def_property_readonly("is_connected", &Driver::is_connected)
        .def_property_readonly("controller_status", &Driver::get_controller_status)
        .def("enable", &Driver::enable, "Enable robot's servos")
        .def("disable", &Driver::disable, "Disable robot's servos")
        .def_property_readonly("current_joint_position", &Driver::get_current_joint_position)
        .def_property_readonly("current_state", &Driver::get_current_state)
        .def_property_readonly("is_running", &Driver::is_running)
        .def_property_readonly("is_paused", &Driver::is_paused);
}

// Each asynchronous command hands the script a future that knows its driver, for
// get() and wait() to step a driver in stepping mode.
void bind_commands(py::class_<Driver, std::shared_ptr<Driver>>& driver) {
    using Self = const std::shared_ptr<Driver>&;
    driver.def("run", &Driver::run, py::arg("trajectory"), Release())
        .def(
            "run_async",
            [](Self self, const velmor::Trajectory& trajectory) {
                return script_future(self, self->run_async(trajectory));
            },
            py::arg("trajectory"), Release())
        .def("move_to", &Driver::move_to, py::arg("goal"), py::arg("ignore_collisions") = false, Release())
        .def(
            "move_to_async",
            [](Self self, const Goal& goal, bool ignore_collisions) {
                return script_future(self, self->move_to_async(goal, ignore_collisions));
            },
            py::arg("point"), py::arg("ignore_collisions") = false, Release())
        .def("move_along", &Driver::move_along, py::arg("name"), py::arg("goal") = py::none(),
             py::arg("ignore_collisions") = false, Release())
        .def(
            "move_along_async",
            [](Self self, const std::string& name, const std::optional<Goal>& goal, bool ignore_collisions) {
                return script_future(self, self->move_along_async(name, goal, ignore_collisions));
            },
            py::arg("name"), py::arg("goal") = py::none(), py::arg("ignore_collisions") = false, Release())
        .def("blend_into", &Driver::blend_into, py::arg("trajectory"), py::arg("duration"), Release())
        .def(
            "blend_into_async",
            [](Self self, const velmor::Trajectory& trajectory, double duration) {
                return script_future(self, self->blend_into_async(trajectory, duration));
            },
            py::arg("trajectory"), py::arg("duration"), Release())
        .def("stop", &Driver::stop, py::arg("fast_stop") = true, Release())
        .def(
            "stop_async", [](Self self, bool fast_stop) { return script_future(self, self->stop_async(fast_stop)); },
            py::arg("fast_stop") = true, Release())
        .def("pause", &Driver::pause, "Pause along the currently executed trajectory", Release())
        .def(
            "pause_async", [](Self self) { return script_future(self, self->pause_async()); }, Release())
        .def("resume", &Driver::resume, Release())
        .def(
            "resume_async", [](Self self) { return script_future(self, self->resume_async()); }, Release())
        .def("add_event", &Driver::add_event, py::arg("trigger"), py::arg("action"), Release())
        .def("create_io_alias", &Driver::create_io_alias, py::arg("name"), py::arg("address"),
             "Give I/O address an alias name");
}

void bind_io(py::class_<Driver, std::shared_ptr<Driver>>& driver) {
    driver.def("get_digital_input", &Driver::get_digital_input, py::arg("name"))
        .def("set_digital_output", &Driver::set_digital_output, py::arg("name"), py::arg("value"))
        .def("get_analog_input", &Driver::get_analog_input, py::arg("name"))
        .def("set_analog_output", &Driver::set_analog_output, py::arg("name"), py::arg("value"))
        .def("get_group_input", &Driver::get_group_input, py::arg("name"))
        .def("set_group_output", &Driver::set_group_output, py::arg("name"), py::arg("value"))
        .def("get_int_register", &Driver::get_int_register, py::arg("name"))
        .def("set_int_register", &Driver::set_int_register, py::arg("name"), py::arg("value"))
        .def("get_double_register", &Driver::get_double_register, py::arg("name"))
        .def("set_double_register", &Driver::set_double_register, py::arg("name"), py::arg("value"));
}

}  // namespace

void bind_driver(py::module_& m) {
    py::class_<Driver, std::shared_ptr<Driver>> driver(m, "Driver", "");
    bind_attributes(driver);
    bind_connection_and_state(driver);
    bind_commands(driver);
    bind_io(driver);
}

void bind_driver_record(py::module_& m) {
    py::class_<Driver, std::shared_ptr<Driver>> driver(m.attr("Driver"));
    driver.def(
        "record",
        [](Driver& self, const std::optional<std::filesystem::path>& path, const std::string& compression) {
            const auto chunks = mcap_compression(compression);
            const py::gil_scoped_release release;
            return self.record(path, chunks);
        },
        py::arg("path") = py::none(), py::arg("compression") = "zstd",
        "Record every control cycle, command, event and I/O change; with path, stream the recording to that file "
        "(MCAP for a .mcap path, chunks compressed as compression says: \"zstd\" or \"none\"; else JSON Lines)");
}

}  // namespace velmor::python
