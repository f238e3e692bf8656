#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <velmor/motion/environment.hpp>
#include <velmor/motion/robot.hpp>
#include <velmor/motion/robot_arm.hpp>
#include <velmor/motion/robots.hpp>
#include <velmor/motion/urdf.hpp>

#include "bindings.hpp"

namespace py = pybind11;

namespace velmor::python {

namespace {

void bind_limits(py::module_& m) {
    py::class_<JointLimits>(m, "JointLimits", "Limits of one joint.")
        .def(py::init([](double min_position, double max_position, double max_velocity, double max_acceleration,
                         double max_jerk) {
                 return JointLimits {min_position, max_position, max_velocity, max_acceleration, max_jerk};
             }),
             py::arg("min_position"), py::arg("max_position"), py::arg("max_velocity"), py::arg("max_acceleration"),
             py::arg("max_jerk"))
        .def_readwrite("min_position", &JointLimits::min_position)
        .def_readwrite("max_position", &JointLimits::max_position)
        .def_readwrite("max_velocity", &JointLimits::max_velocity)
        .def_readwrite("max_acceleration", &JointLimits::max_acceleration)
        .def_readwrite("max_jerk", &JointLimits::max_jerk);

    py::class_<DenavitHartenberg>(m, "DenavitHartenberg", "Standard Denavit-Hartenberg parameters of one joint.")
        .def(py::init([](double d, double theta, double a, double alpha) {
                 return DenavitHartenberg {d, theta, a, alpha};
             }),
             py::arg("d"), py::arg("theta"), py::arg("a"), py::arg("alpha"))
        .def_readwrite("d", &DenavitHartenberg::d)
        .def_readwrite("theta", &DenavitHartenberg::theta)
        .def_readwrite("a", &DenavitHartenberg::a)
        .def_readwrite("alpha", &DenavitHartenberg::alpha);
}

//! None, one number for every joint, or a sequence of one per joint.
std::vector<double> per_joint(const std::optional<py::object>& value) {
    if (!value) {
        return {};
    }
    if (py::isinstance<py::float_>(*value) || py::isinstance<py::int_>(*value)) {
        return {value->cast<double>()};
    }
    return value->cast<std::vector<double>>();
}

void bind_builtin_robots(py::module_& m) {
    py::module_ robots = m.def_submodule("robots", "The built-in robot models.");
    py::class_<robots::UR5e, RobotArm, std::shared_ptr<robots::UR5e>>(robots, "UR5e",
                                                                       "A six-axis collaborative arm.")
        .def(py::init<Frame, Frame>(), py::arg("base") = Frame::Identity(),
             py::arg("tool_offset") = Frame::Identity());
    py::class_<robots::DualArm, Robot, std::shared_ptr<robots::DualArm>>(
        robots, "DualArm", "Two arms driven as one robot: the left arm's joints first, then the right arm's.")
        .def(py::init<std::shared_ptr<RobotArm>, std::shared_ptr<RobotArm>>(), py::arg("left"), py::arg("right"))
        .def_readonly("left", &robots::DualArm::left)
        .def_readonly("right", &robots::DualArm::right);
    robots.def("model_names", &robots::model_names, "Names of the built-in models.");
    robots.def(
        "from_urdf",
        [](const py::object& path_or_xml, std::optional<std::string> base_link, std::optional<std::string> tip_link,
           std::optional<std::map<std::string, std::filesystem::path>> package_paths,
           const std::optional<py::object>& max_acceleration, const std::optional<py::object>& max_jerk, Frame base,
           Frame tool_offset, std::optional<std::vector<std::pair<std::string, std::string>>> disabled_collisions) {
            robots::UrdfOptions options {std::move(base_link), std::move(tip_link),
                                         package_paths.value_or(std::map<std::string, std::filesystem::path> {}),
                                         per_joint(max_acceleration), per_joint(max_jerk), base, tool_offset,
                                         disabled_collisions.value_or(
                                             std::vector<std::pair<std::string, std::string>> {})};
            const std::string source = py::isinstance<py::str>(path_or_xml)
                                           ? path_or_xml.cast<std::string>()
                                           : py::module_::import("os").attr("fspath")(path_or_xml).cast<std::string>();
            return robots::from_urdf(source, options);
        },
        py::arg("path_or_xml"), py::arg("base_link") = py::none(), py::arg("tip_link") = py::none(),
        py::arg("package_paths") = py::none(), py::arg("max_acceleration") = py::none(),
        py::arg("max_jerk") = py::none(), py::arg("base") = Frame::Identity(),
        py::arg("tool_offset") = Frame::Identity(), py::arg("disabled_collisions") = py::none(),
        "The serial arm from base_link to tip_link of a robot description (URDF): a file path or the XML text. "
        "package_paths maps package names to folders for package:// references; max_acceleration and max_jerk "
        "are one value or one per joint, else derived from each joint's velocity limit v (4·v and 16·v); "
        "disabled_collisions lists pairs of link names never checked against each other. Collision meshes "
        "are STL files, bounded by their oriented box.");
    robots.def("make", &robots::make, py::arg("name"), "A new robot of the named built-in model.");
}

}  // namespace

void bind_robots(py::module_& m) {
    bind_limits(m);

    py::class_<Robot, std::shared_ptr<Robot>>(m, "Robot", "A robot: one arm, or a chain of arms.")
        .def_readwrite("name", &Robot::name)
        .def_property_readonly("degrees_of_freedom", &Robot::get_degrees_of_freedom)
        .def("get_degrees_of_freedom", &Robot::get_degrees_of_freedom)
        .def("get_next_arm", &Robot::get_next_arm, py::arg("previous") = py::none())
        .def("get_joint_limits", &Robot::get_joint_limits);

    py::class_<RobotArm, Robot, std::shared_ptr<RobotArm>>(m, "RobotArm",
                                                           "One serial arm of revolute and prismatic joints.")
        .def(py::init<std::string, std::vector<DenavitHartenberg>, std::vector<JointLimits>, Frame, Frame>(),
             py::arg("name"), py::arg("dh_parameters"), py::arg("limits"), py::arg("base") = Frame::Identity(),
             py::arg("tool_offset") = Frame::Identity())
        .def("calculate_tcp", &RobotArm::calculate_tcp, py::arg("joint_position"))
        .def("calculate_joint_frames", &RobotArm::calculate_joint_frames, py::arg("joint_position"))
        .def("inverse_kinematics", &RobotArm::inverse_kinematics, py::arg("tcp"), py::arg("reference"))
        .def("get_dh_parameters", &RobotArm::get_dh_parameters)
        .def("get_base", &RobotArm::get_base)
        .def("get_tool_offset", &RobotArm::get_tool_offset)
        .def("to_urdf", &RobotArm::to_urdf,
             "The arm as a robot description (URDF) text, without its tool offset.");

    bind_builtin_robots(m);

    py::class_<Environment, std::shared_ptr<Environment>>(m, "Environment", "The robots of a cell, keyed by name.")
        .def(py::init<>())
        .def(py::init<std::shared_ptr<Robot>>(), py::arg("robot"))
        .def("add_robot", &Environment::add_robot, py::arg("name"), py::arg("robot"))
        .def("get_robot", &Environment::get_robot, py::arg("name"))
        .def("get_robots", &Environment::get_robots);
}

}  // namespace velmor::python
