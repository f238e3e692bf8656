#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>

#include <pybind11/stl.h>

#include <velmor/drivers/simulated/signal.hpp>

#include "bindings.hpp"

namespace py = pybind11;

namespace velmor::python {

void bind_signal(SimulatedDriverClass& simulated_driver) {
    using drivers::simulated::Direction;
    using drivers::simulated::Signal;
    py::enum_<Direction>(simulated_driver, "Direction",
                         "Who writes a simulated I/O signal: the cell and the viewer page (Input) or the program "
                         "(Output)")
        .value("Input", Direction::Input)
        .value("Output", Direction::Output);
    py::class_<Signal>(simulated_driver, "Signal", "A simulated I/O Signal")
        .def(py::init([](std::string name, std::variant<std::int32_t, float> value,
                         std::optional<std::string> description, std::optional<Direction> direction) {
                 return Signal {std::move(name), value, std::move(description), direction};
             }),
             py::arg("name"), py::arg("value") = 0.0, py::arg("description") = py::none(),
             py::arg("direction") = py::none())
        .def_readwrite("name", &Signal::name, "The name of the I/O signal")
        .def_readwrite("value", &Signal::value, "The current value of the signal")
        .def_readwrite("description", &Signal::description, "Description of the signal, as shown in UI")
        .def_readwrite("direction", &Signal::direction, "Who writes the signal; None: any writer");
}

}  // namespace velmor::python
