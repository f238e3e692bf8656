#include <optional>

#include <pybind11/stl.h>

#include <velmor/drivers/events.hpp>
#include <velmor/drivers/simulated_driver.hpp>

#include "bindings.hpp"
#include "script_future.hpp"

namespace py = pybind11;

namespace velmor::python {

namespace {

using drivers::SimulatedDriver;
using drivers::Trigger;
using Release = py::call_guard<py::gil_scoped_release>;
using Self = const std::shared_ptr<SimulatedDriver>&;

}  // namespace

// The asynchronous forms hand out futures that know their driver, so that their get()
// and wait() step a driver in stepping mode as a command's future does.
void bind_simulated_time(SimulatedDriverClass& simulated_driver) {
    simulated_driver
        .def_property_readonly("clock", &SimulatedDriver::clock,
                               "Simulated time [s] since the driver was made: cycles, dwells and waits advance "
                               "it, and wall-clock time x time_speed while the free-running loop is idle")
        .def("sleep", &SimulatedDriver::sleep, py::arg("seconds"),
             "Dwell this long [s] on the simulated clock (seconds / time_speed of wall-clock time)", Release())
        .def(
            "sleep_async",
            [](Self self, double seconds) {
                return script_future<bool>(self, self->sleep_async(seconds));
            },
            py::arg("seconds"), "sleep on a thread of its own; a FutureBool that holds True at its end",
            Release())
        .def("wait_for", &SimulatedDriver::wait_for, py::arg("condition"), py::arg("timeout") = py::none(),
             "Wait until the Trigger holds (True) or timeout [s] passes on the simulated clock (False)", Release())
        .def(
            "wait_for_async",
            [](Self self, const Trigger& condition, std::optional<double> timeout) {
                return script_future<bool>(self, self->wait_for_async(condition, timeout));
            },
            py::arg("condition"), py::arg("timeout") = py::none(),
            "wait_for on a thread of its own; a FutureBool that holds its answer", Release())
        .def("mark", &SimulatedDriver::mark, py::arg("label"),
             "Mark the clock's present time with a label (e.g. 'part 3 placed') in the running recording; its "
             "report gives the cycle time of each interval between marks. Nothing happens while none runs",
             Release());
}

}  // namespace velmor::python
