#include <memory>
#include <vector>

#include <pybind11/stl.h>

#include <velmor/motion/mirava.hpp>
#include <velmor/motion/version_number.hpp>

#include "bindings.hpp"

namespace py = pybind11;

namespace velmor::python {

void bind_mirava(py::module_& m) {
    // Connecting waits on the network, so it runs without the interpreter lock.
    py::class_<Mirava, std::shared_ptr<Mirava>>(m, "Mirava", "Client of the Mirava visualisation application.")
        .def(py::init<bool, double>(), py::arg("auto_connect") = true, py::arg("timeout") = 2.0,
             py::call_guard<py::gil_scoped_release>())
        .def("reconnect", &Mirava::reconnect, py::arg("timeout"), py::call_guard<py::gil_scoped_release>())
        .def("set_joint_position", &Mirava::set_joint_position, py::arg("joint_position"),
             py::arg("robot") = py::none())
        .def("set_environment", &Mirava::set_environment, py::arg("environment"),
             "Shows the environment's obstacles along with the robot.");

    py::class_<VersionNumber>(m, "VersionNumber", "A semantic version.")
        .def_readonly("major", &VersionNumber::major)
        .def_readonly("minor", &VersionNumber::minor)
        .def_readonly("patch", &VersionNumber::patch)
        .def("__str__", &VersionNumber::to_string)
        .def("__repr__", [](const VersionNumber& version) { return "VersionNumber(" + version.to_string() + ")"; });

    m.attr("version_number") = version_number;
    m.attr("version") = version_number.to_string();
    m.attr("__version__") = version_number.to_string();
}

}  // namespace velmor::python
