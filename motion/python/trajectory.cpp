#include <optional>
#include <string>
#include <vector>

#include <pybind11/stl.h>

#include <velmor/motion/state.hpp>
#include <velmor/motion/trajectory.hpp>
#include <velmor/motion/trajectory_json.hpp>

#include "bindings.hpp"

namespace py = pybind11;

namespace velmor::python {

namespace {

using Samples = std::vector<std::vector<double>>;

// A missing derivative is zero: one zero per joint of the matching position sample.
Samples zeros_like(const Samples& positions) {
    Samples zeros;
    zeros.reserve(positions.size());
    for (const auto& position : positions) {
        zeros.emplace_back(position.size(), 0.0);
    }
    return zeros;
}

Trajectory from_samples(std::vector<double> times, Samples positions, std::optional<Samples> velocities,
                        std::optional<Samples> accelerations) {
    Samples v = velocities ? std::move(*velocities) : zeros_like(positions);
    Samples a = accelerations ? std::move(*accelerations) : zeros_like(positions);
    return Trajectory(std::move(times), std::move(positions), std::move(v), std::move(a));
}

}  // namespace

void bind_trajectory(py::module_& m) {
    py::class_<State>(m, "State", "Motion state at one instant, one entry per joint.")
        .def(py::init<double, std::vector<double>, std::vector<double>, std::vector<double>>(),
             py::arg("time") = 0.0, py::arg("position") = std::vector<double> {},
             py::arg("velocity") = std::vector<double> {}, py::arg("acceleration") = std::vector<double> {})
        .def_readwrite("time", &State::time, "Time stamp [s]")
        .def_readwrite("position", &State::position)
        .def_readwrite("velocity", &State::velocity)
        .def_readwrite("acceleration", &State::acceleration);

    py::class_<Trajectory>(m, "Trajectory", "A sampled joint-space motion.")
        .def(py::init<>(), "An empty trajectory.")
        .def(py::init(&from_samples), py::arg("times"), py::arg("positions"), py::arg("velocities") = py::none(),
             py::arg("accelerations") = py::none(),
             "From samples; missing velocities or accelerations are zero. Raises RuntimeError for "
             "inconsistent samples.")
        .def_readwrite("id", &Trajectory::id)
        .def_readwrite("motion", &Trajectory::motion)
        .def_property_readonly("degrees_of_freedom", &Trajectory::degrees_of_freedom)
        .def_property_readonly("duration", &Trajectory::duration, "Time of the last sample [s]")
        .def_property_readonly("times", &Trajectory::times, "Sample times [s]")
        .def_property_readonly("positions", [](const Trajectory& t) { return t.positions().rows(); })
        .def_property_readonly("velocities", [](const Trajectory& t) { return t.velocities().rows(); })
        .def_property_readonly("accelerations", [](const Trajectory& t) { return t.accelerations().rows(); })
        .def("__len__", &Trajectory::size)
        .def("at", &Trajectory::at, py::arg("index"))
        .def("front", &Trajectory::front)
        .def("back", &Trajectory::back)
        .def("slice", &Trajectory::slice, py::arg("start"), py::arg("count"))
        .def("append", &Trajectory::append, py::arg("other"))
        .def("to_json", [](const Trajectory& trajectory) { return to_json(trajectory); })
        .def_static("from_json", &trajectory_from_json, py::arg("text"))
        .def(
            "save", [](const Trajectory& trajectory, const std::string& path) { save_trajectory(trajectory, path); },
            py::arg("path"))
        .def_static("load", &load_trajectory, py::arg("path"))
        .def("__repr__", [](const Trajectory& trajectory) {
            return "Trajectory(samples=" + std::to_string(trajectory.size()) +
                   ", degrees_of_freedom=" + std::to_string(trajectory.degrees_of_freedom()) +
                   ", duration=" + py::repr(py::float_(trajectory.duration())).cast<std::string>() + ")";
        });
}

}  // namespace velmor::python
