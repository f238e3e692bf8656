#include <optional>
#include <vector>

#include <pybind11/stl.h>

#include <velmor/motion/cartesian_waypoint.hpp>
#include <velmor/motion/region.hpp>
#include <velmor/motion/waypoint.hpp>

#include "bindings.hpp"

namespace py = pybind11;

namespace velmor::python {

void bind_points(py::module_& m) {
    py::class_<Waypoint>(m, "Waypoint", "A joint-space point with its velocity and acceleration.")
        .def(py::init<>())
        .def(py::init<std::size_t>(), py::arg("degrees_of_freedom"), "That many joints, all at zero and at rest.")
        .def(py::init<std::vector<double>, std::vector<double>, std::vector<double>>(), py::arg("position"),
             py::arg("velocity") = std::vector<double> {}, py::arg("acceleration") = std::vector<double> {})
        .def_readwrite("position", &Waypoint::position)
        .def_readwrite("velocity", &Waypoint::velocity)
        .def_readwrite("acceleration", &Waypoint::acceleration);

    py::class_<CartesianWaypoint>(m, "CartesianWaypoint", "A tool pose to move to.")
        .def(py::init([](const Frame& frame, std::optional<std::vector<double>> reference_config) {
                 return CartesianWaypoint {frame, std::move(reference_config)};
             }),
             py::arg("frame"), py::arg("reference_config") = py::none())
        .def_readwrite("frame", &CartesianWaypoint::frame)
        .def_readwrite("reference_config", &CartesianWaypoint::reference_config);

    py::class_<Region>(m, "Region", "A box in joint space.")
        .def(py::init([](std::vector<double> min_position, std::vector<double> max_position) {
                 return Region {std::move(min_position), std::move(max_position)};
             }),
             py::arg("min_position"), py::arg("max_position"))
        .def_readwrite("min_position", &Region::min_position)
        .def_readwrite("max_position", &Region::max_position);

    py::class_<CartesianRegion>(m, "CartesianRegion", "A tool pose with position and orientation tolerances.")
        .def(py::init([](const Frame& frame, double position_tolerance, double orientation_tolerance,
                         std::optional<std::vector<double>> reference_config) {
                 return CartesianRegion {frame, position_tolerance, orientation_tolerance, std::move(reference_config)};
             }),
             py::arg("frame"), py::arg("position_tolerance") = 0.0, py::arg("orientation_tolerance") = 0.0,
             py::arg("reference_config") = py::none())
        .def_readwrite("frame", &CartesianRegion::frame)
        .def_readwrite("position_tolerance", &CartesianRegion::position_tolerance, "[m]")
        .def_readwrite("orientation_tolerance", &CartesianRegion::orientation_tolerance, "[rad]")
        .def_readwrite("reference_config", &CartesianRegion::reference_config);
}

}  // namespace velmor::python
