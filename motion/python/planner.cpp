#include <memory>
#include <optional>
#include <string>

#include <pybind11/stl.h>

#include <velmor/motion/environment.hpp>
#include <velmor/motion/motion.hpp>
#include <velmor/motion/planner.hpp>
#include <velmor/motion/robot_arm.hpp>

#include "bindings.hpp"

namespace py = pybind11;

namespace velmor::python {

namespace {

void bind_motions(py::module_& m) {
    py::class_<Motion>(m, "Motion", "A planning request: move a robot from a start to a goal.")
        .def(py::init<std::shared_ptr<Robot>, std::string, std::optional<Goal>, MotionGoal>(), py::arg("robot"),
             py::arg("name"), py::arg("start"), py::arg("goal"))
        .def_readwrite("robot", &Motion::robot)
        .def_readwrite("name", &Motion::name)
        .def_readwrite("start", &Motion::start)
        .def_readwrite("goal", &Motion::goal);

    py::class_<LowLevelMotion> low_level(m, "LowLevelMotion", "A request to move between two joint-space states.");
    py::enum_<LowLevelMotion::ControlInterface>(low_level, "ControlInterface", "How the goal is reached.")
        .value("Position", LowLevelMotion::ControlInterface::Position)
        .value("Velocity", LowLevelMotion::ControlInterface::Velocity);
    low_level
        .def(py::init<std::shared_ptr<Robot>, std::string, Waypoint, Waypoint>(), py::arg("robot"),
             py::arg("name") = "", py::arg("start") = Waypoint(), py::arg("goal") = Waypoint())
        .def_readwrite("robot", &LowLevelMotion::robot)
        .def_readwrite("name", &LowLevelMotion::name)
        .def_readwrite("start", &LowLevelMotion::start)
        .def_readwrite("goal", &LowLevelMotion::goal)
        .def_readwrite("control_interface", &LowLevelMotion::control_interface);
}

}  // namespace

void bind_planner(py::module_& m) {
    bind_motions(m);

    using PlanNamed = std::optional<Trajectory> (Planner::*)(const std::string&, const std::optional<Goal>&,
                                                             const std::optional<Goal>&) const;
    using PlanMotion = std::optional<Trajectory> (Planner::*)(const Motion&, const std::optional<Goal>&,
                                                              const std::optional<Goal>&) const;
    using PlanLowLevel = std::optional<Trajectory> (Planner::*)(const LowLevelMotion&) const;

    // Planning runs without the interpreter lock: it never calls back into Python
    // and may take a while, so other script threads keep running meanwhile.
    py::class_<Planner, std::shared_ptr<Planner>>(m, "Planner", "Plans limit-respecting trajectories.")
        .def(py::init<std::shared_ptr<Environment>, double>(), py::arg("environment") = py::none(),
             py::arg("delta_time") = 0.004)
        .def(py::init<std::shared_ptr<Robot>, double>(), py::arg("robot"), py::arg("delta_time") = 0.004)
        .def_readwrite("environment", &Planner::environment)
        .def_readwrite("delta_time", &Planner::delta_time, "Sample interval of planned trajectories [s]")
        .def("add_motion", static_cast<void (Planner::*)(const Motion&)>(&Planner::add_motion), py::arg("motion"))
        .def("plan", static_cast<PlanLowLevel>(&Planner::plan), py::arg("motion"),
             py::call_guard<py::gil_scoped_release>())
        .def("plan", static_cast<PlanNamed>(&Planner::plan), py::arg("name"), py::arg("start") = py::none(),
             py::arg("goal") = py::none(), py::call_guard<py::gil_scoped_release>())
        .def("plan", static_cast<PlanMotion>(&Planner::plan), py::arg("motion"), py::arg("start") = py::none(),
             py::arg("goal") = py::none(), py::call_guard<py::gil_scoped_release>());
}

}  // namespace velmor::python
