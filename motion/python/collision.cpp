#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <pybind11/stl.h>

#include <velmor/motion/collision.hpp>
#include <velmor/motion/linear_motion.hpp>
#include <velmor/motion/link_geometry.hpp>
#include <velmor/motion/plan_options.hpp>
#include <velmor/motion/planner.hpp>
#include <velmor/motion/robot_arm.hpp>

#include "bindings.hpp"

namespace py = pybind11;

namespace velmor::python {

namespace {

void bind_link_geometry(py::module_& m) {
    py::class_<Capsule>(m, "Capsule", "A segment with a radius, in the frame of its link.")
        .def(py::init([](std::array<double, 3> start, std::array<double, 3> end, double radius) {
                 return Capsule {start, end, radius};
             }),
             py::arg("start"), py::arg("end"), py::arg("radius"))
        .def_readwrite("start", &Capsule::start, "One end of the segment [m]")
        .def_readwrite("end", &Capsule::end, "The other end of the segment [m]")
        .def_readwrite("radius", &Capsule::radius, "[m]");

    py::class_<LinkGeometry>(m, "LinkGeometry", "The solid of one link: capsules fixed to its frame.")
        .def(py::init([](std::string name, std::vector<Capsule> capsules) {
                 return LinkGeometry {std::move(name), std::move(capsules)};
             }),
             py::arg("name"), py::arg("capsules"))
        .def_readwrite("name", &LinkGeometry::name)
        .def_readwrite("capsules", &LinkGeometry::capsules)
        .def_readwrite("ignored_links", &LinkGeometry::ignored_links,
                       "Links of the same arm (by index, the base 0) never checked against this one");

    // A RobotArm built with link geometry; the earlier constructor stays the first overload.
    py::class_<RobotArm, Robot, std::shared_ptr<RobotArm>>(m.attr("RobotArm"))
        .def(py::init<std::string, std::vector<DenavitHartenberg>, std::vector<JointLimits>, Frame, Frame,
                      std::vector<LinkGeometry>>(),
             py::arg("name"), py::arg("dh_parameters"), py::arg("limits"), py::arg("base"), py::arg("tool_offset"),
             py::arg("links"))
        .def("get_link_geometry", &RobotArm::get_link_geometry, "The solid of every link, base first.");
}

}  // namespace

void bind_collision(py::module_& m) {
    bind_link_geometry(m);

    py::class_<Collision>(m, "Collision", "A link touching an obstacle or another link.")
        .def_readonly("time", &Collision::time, "Where along the checked motion [s]")
        .def_readonly("arm", &Collision::arm)
        .def_readonly("link", &Collision::link, "0 the base, i the link that joint i moves")
        .def_readonly("link_name", &Collision::link_name)
        .def_readonly("obstacle", &Collision::obstacle, "Name of the obstacle; empty for another link")
        .def_readonly("other_arm", &Collision::other_arm)
        .def_readonly("other_link", &Collision::other_link)
        .def_readonly("other_link_name", &Collision::other_link_name)
        .def("describe", &Collision::describe)
        .def("__repr__", [](const Collision& collision) {
            return "Collision(time=" + py::repr(py::float_(collision.time)).cast<std::string>() + ", " +
                   collision.describe() + ")";
        });

    py::class_<PlanOptions>(m, "PlanOptions", "How a planning request treats obstacles and self-collision.")
        .def(py::init([](bool ignore_collisions, std::uint64_t seed, std::size_t max_iterations) {
                 return PlanOptions {ignore_collisions, seed, max_iterations};
             }),
             py::arg("ignore_collisions") = false, py::arg("seed") = 0, py::arg("max_iterations") = 2000)
        .def_readwrite("ignore_collisions", &PlanOptions::ignore_collisions)
        .def_readwrite("seed", &PlanOptions::seed)
        .def_readwrite("max_iterations", &PlanOptions::max_iterations);

    py::class_<PlanResult>(m, "PlanResult", "A planned trajectory, or why there is none.")
        .def_readonly("trajectory", &PlanResult::trajectory)
        .def_readonly("warning", &PlanResult::warning)
        .def_readonly("blocking", &PlanResult::blocking)
        .def_readonly("iterations", &PlanResult::iterations)
        .def_readonly("reason", &PlanResult::reason,
                      "Why there is no trajectory: the joint and limit, the unreachable pose and how far "
                      "beyond reach it lies, or the touching pair; empty on success");

    py::class_<LinearMotion>(m, "LinearMotion", "A straight-line motion of the tool to a pose.")
        .def(py::init<std::shared_ptr<Robot>, std::string, std::optional<Goal>, CartesianWaypoint,
                      std::optional<double>>(),
             py::arg("robot"), py::arg("name"), py::arg("start"), py::arg("goal"), py::arg("max_tool_speed") = py::none())
        .def_readwrite("robot", &LinearMotion::robot)
        .def_readwrite("name", &LinearMotion::name)
        .def_readwrite("start", &LinearMotion::start)
        .def_readwrite("goal", &LinearMotion::goal)
        .def_readwrite("max_tool_speed", &LinearMotion::max_tool_speed, "[m/s]; None: only the joints' limits");

    using PlanNamed = PlanResult (Planner::*)(const std::string&, const std::optional<Goal>&,
                                              const std::optional<Goal>&, const PlanOptions&) const;
    using PlanMotion = PlanResult (Planner::*)(const Motion&, const std::optional<Goal>&, const std::optional<Goal>&,
                                               const PlanOptions&) const;

    using PlanLinear = std::optional<Trajectory> (Planner::*)(const LinearMotion&, const std::optional<Goal>&,
                                                              const std::optional<Goal>&) const;
    using PlanLinearChecked = PlanResult (Planner::*)(const LinearMotion&, const std::optional<Goal>&,
                                                      const std::optional<Goal>&, const PlanOptions&) const;

    // Planning and collision checks release the interpreter lock: they may take a while.
    // The plan overloads with options come after the earlier ones, which calls without
    // `options` keep matching.
    py::class_<Planner, std::shared_ptr<Planner>>(m.attr("Planner"))
        .def("plan", static_cast<PlanNamed>(&Planner::plan), py::arg("name"), py::arg("start") = py::none(),
             py::arg("goal") = py::none(), py::kw_only(), py::arg("options"), py::call_guard<py::gil_scoped_release>(),
             "Plans around obstacles unless the options ignore collisions; returns a PlanResult.")
        .def("plan", static_cast<PlanMotion>(&Planner::plan), py::arg("motion"), py::arg("start") = py::none(),
             py::arg("goal") = py::none(), py::kw_only(), py::arg("options"),
             py::call_guard<py::gil_scoped_release>())
        .def("add_motion", static_cast<void (Planner::*)(const LinearMotion&)>(&Planner::add_motion),
             py::arg("motion"))
        .def("plan", static_cast<PlanLinear>(&Planner::plan), py::arg("motion"), py::arg("start") = py::none(),
             py::arg("goal") = py::none(), py::call_guard<py::gil_scoped_release>(),
             "Plans a straight-line motion; raises RuntimeError when the line cannot be followed.")
        .def("plan", static_cast<PlanLinearChecked>(&Planner::plan), py::arg("motion"), py::arg("start") = py::none(),
             py::arg("goal") = py::none(), py::kw_only(), py::arg("options"),
             py::call_guard<py::gil_scoped_release>())
        .def("check_collision", &Planner::check_collision, py::arg("joint_position"), py::arg("robot") = py::none(),
             py::call_guard<py::gil_scoped_release>(),
             "The contact of least clearance at the joint position, or None.")
        .def("check_trajectory", &Planner::check_trajectory, py::arg("trajectory"), py::arg("robot") = py::none(),
             py::call_guard<py::gil_scoped_release>(),
             "The first contact along the trajectory, between samples included, or None.");
}

}  // namespace velmor::python
