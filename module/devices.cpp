// The cell's devices: the ones built in, a script's own (Callback), and the members of
// the driver and the controller that add, remove and list them.
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include <pybind11/stl.h>

#include <velmor/drivers/devices/callback.hpp>
#include <velmor/drivers/devices/feeder.hpp>
#include <velmor/drivers/devices/follow.hpp>
#include <velmor/drivers/devices/pulse.hpp>
#include <velmor/drivers/devices/zone_sensor.hpp>
#include <velmor/drivers/simulated/controller.hpp>
#include <velmor/velmor_error.hpp>

#include "bindings.hpp"
#include "script_callable.hpp"

namespace py = pybind11;

namespace velmor::python {

namespace {

using namespace drivers::devices;
using drivers::SignalValue;
using drivers::SimulatedDriver;
using drivers::simulated::Controller;
using Release = py::call_guard<py::gil_scoped_release>;

// The cell as a script's device sees it, for the one call it is handed to.
class VELMOR_PYTHON_HIDDEN ScriptCell {
public:
    explicit ScriptCell(Cell& cell) : cell(&cell) {}
    void end() { cell = nullptr; }
    Cell& get() const {
        if (cell == nullptr) {
            throw VelmorError("devices", "This DeviceIo belonged to one call of a Callback device, which is over.");
        }
        return *cell;
    }

private:
    Cell* cell;
};

// A script's function of the time and the cell, called with the interpreter lock held;
// a Python exception leaves it as ScriptError, which removes the device.
Callback::Function script_function(py::function function) {
    return [function = share_object(std::move(function))](double time, Cell& cell) {
        const py::gil_scoped_acquire gil;
        auto view = std::make_shared<ScriptCell>(cell);
        try {
            (*function)(time, view);
        } catch (py::error_already_set& error) {
            view->end();
            throw ScriptError(error);
        }
        view->end();
    };
}

std::string arm_name(const py::object& robot) {
    if (robot.is_none()) {
        return {};
    }
    if (py::isinstance<py::str>(robot)) {
        return robot.cast<std::string>();
    }
    return robot.attr("name").cast<std::string>();
}

void bind_script_cell(py::module_& m) {
    py::class_<ScriptCell, std::shared_ptr<ScriptCell>>(
        m, "DeviceIo", "The cell's I/O as a Callback device sees it, valid during the call it is handed to")
        .def(
            "get", [](const ScriptCell& cell, const std::string& name) { return cell.get().read(name); },
            py::arg("name"), "The signal's value; None when there is none")
        .def(
            "set", [](ScriptCell& cell, const std::string& name, SignalValue value) { cell.get().write(name, value); },
            py::arg("name"), py::arg("value"), "Write the signal (inputs included) as this device")
        .def("__getitem__",
             [](const ScriptCell& cell, const std::string& name) {
                 const auto value = cell.get().read(name);
                 if (!value) {
                     throw py::key_error(name);
                 }
                 return *value;
             })
        .def("__setitem__",
             [](ScriptCell& cell, const std::string& name, SignalValue value) { cell.get().write(name, value); })
        .def(
            "tool_point",
            [](const ScriptCell& cell, const py::object& robot) {
                const auto point = cell.get().tool_point(arm_name(robot));
                return point ? std::optional(std::array<double, 3> {point->x(), point->y(), point->z()}) : std::nullopt;
            },
            py::arg("robot") = py::none(), "The tool centre point (x, y, z) [m]; None without a robot");
}

void bind_built_in_devices(py::module_& m) {
    py::class_<Device, std::shared_ptr<Device>>(m, "Device", "A device of the cell, acting on the simulated clock")
        .def_property_readonly("name", &Device::name)
        .def("__repr__", [](const Device& device) { return "<Device '" + device.name() + "'>"; });
    py::class_<Follow, Device, std::shared_ptr<Follow>>(
        m, "Follow", "target takes source's value delay [s] after each change, through value_map")
        .def(py::init<std::string, std::string, double, std::map<std::int32_t, std::int32_t>, std::string>(),
             py::arg("source"), py::arg("target"), py::arg("delay"), py::arg("value_map") = py::dict(),
             py::arg("name") = "")
        .def_property_readonly("source", &Follow::source)
        .def_property_readonly("target", &Follow::target)
        .def_property_readonly("delay", &Follow::delay);
    py::class_<Pulse, Device, std::shared_ptr<Pulse>>(m, "Pulse", "signal is 1 for duty x period, then 0, repeatedly")
        .def(py::init<std::string, double, double, std::string>(), py::arg("signal"), py::arg("period"),
             py::arg("duty") = 0.5, py::arg("name") = "")
        .def_property_readonly("signal", &Pulse::signal)
        .def_property_readonly("period", &Pulse::period)
        .def_property_readonly("duty", &Pulse::duty);
    py::class_<ZoneSensor, Device, std::shared_ptr<ZoneSensor>>(
        m, "ZoneSensor", "signal is 1 while the tool centre point is inside region (a velmor.Box)")
        .def(py::init([](std::string signal, velmor::Box region, const py::object& robot, std::string name) {
                 return std::make_shared<ZoneSensor>(std::move(signal), std::move(region), arm_name(robot),
                                                     std::move(name));
             }),
             py::arg("signal"), py::arg("region"), py::arg("robot") = py::none(), py::arg("name") = "")
        .def_property_readonly("signal", &ZoneSensor::signal);
    py::class_<Feeder, Device, std::shared_ptr<Feeder>>(
        m, "Feeder", "Parts arrive (signal 1) first [s] after adding, then every [s]; taken_by takes them")
        .def(py::init<std::string, double, std::optional<double>, std::optional<std::uint64_t>,
                      std::optional<std::string>, std::string>(),
             py::arg("signal"), py::arg("first") = 0.0, py::arg("every") = py::none(), py::arg("count") = py::none(),
             py::arg("taken_by") = py::none(), py::arg("name") = "")
        .def_property_readonly("signal", &Feeder::signal)
        .def_property_readonly("arrived", &Feeder::arrived, "Parts arrived so far");
    py::class_<Callback, Device, std::shared_ptr<Callback>>(
        m, "Callback", "function(clock, io) called every period [s]; io is a DeviceIo")
        .def(py::init([](std::string name, double period, py::function function) {
                 return std::make_shared<Callback>(std::move(name), period, script_function(std::move(function)));
             }),
             py::arg("name"), py::arg("period"), py::arg("function"))
        .def_property_readonly("period", &Callback::period);
}

}  // namespace

void bind_devices(py::module_& m) {
    bind_script_cell(m);
    bind_built_in_devices(m);
}

// Bound after the devices, so that the signatures name them.
void bind_driver_devices(SimulatedDriverClass& simulated_driver) {
    // Only members are added here, which need no holder type.
    py::reinterpret_borrow<py::class_<Controller>>(simulated_driver.attr("Controller"))
        .def("add_device", &Controller::add_device, py::arg("device"), "Add a device of the cell", Release())
        .def("remove_device", &Controller::remove_device, py::arg("name"),
             "Remove the device of that name; whether there was one", Release())
        .def("devices", &Controller::devices, "The devices, in the order they act", Release())
        .def_property_readonly("clock", &Controller::clock, "The time [s] of the clock the devices act on")
        .def("advance", &Controller::advance, py::arg("seconds"),
             "Advance the controller's own clock [s], each device acting at the times it names", Release());
    simulated_driver
        .def("add_device", &SimulatedDriver::add_device, py::arg("device"),
             "Add a device of the cell; it acts on the simulated clock", Release())
        .def("remove_device", &SimulatedDriver::remove_device, py::arg("name"),
             "Remove the device of that name; whether there was one", Release())
        .def("devices", &SimulatedDriver::devices, "The devices, in the order they act", Release());
}

}  // namespace velmor::python
