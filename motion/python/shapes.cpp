#include <array>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>

#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <velmor/motion/environment.hpp>
#include <velmor/motion/shapes.hpp>

#include "bindings.hpp"

namespace py = pybind11;

namespace velmor::python {

namespace {

std::string position_text(const Frame& frame) {
    const auto e = frame.to_euler();
    std::ostringstream text;
    text << "frame=Frame(x=" << e[0] << ", y=" << e[1] << ", z=" << e[2] << ", a=" << e[3] << ", b=" << e[4]
         << ", c=" << e[5] << ")";
    return text.str();
}

Eigen::Vector3d as_point(const std::array<double, 3>& point) {
    return {point[0], point[1], point[2]};
}

// One overload per shape: a variant argument would need a default shape to load into.
template <typename Kind>
void add_obstacle(Environment& environment, const std::string& name, const Kind& shape) {
    environment.add_obstacle(name, shape);
}

}  // namespace

void bind_shapes(py::module_& m) {
    py::class_<Box>(m, "Box", "A solid box centred on its frame's origin, edges along the frame's axes.")
        .def(py::init<std::array<double, 3>, Frame>(), py::arg("size"), py::arg("frame") = Frame::Identity(),
             "Edge lengths [x, y, z] [m] and the pose of the centre. Raises RuntimeError for a size that is not "
             "positive.")
        .def_readonly("size", &Box::size, "Edge lengths along the frame's x, y and z axes [m]")
        .def_readonly("frame", &Box::frame, "Pose of the centre in the world")
        .def(
            "contains", [](const Box& box, const std::array<double, 3>& point) { return box.contains(as_point(point)); },
            py::arg("point"), "Whether the point [x, y, z] [m] lies inside or on the box.")
        .def("__repr__", [](const Box& box) {
            std::ostringstream text;
            text << "Box(size=[" << box.size[0] << ", " << box.size[1] << ", " << box.size[2] << "], "
                 << position_text(box.frame) << ")";
            return text.str();
        });

    py::class_<Sphere>(m, "Sphere", "A solid ball around its frame's origin.")
        .def(py::init<double, Frame>(), py::arg("radius"), py::arg("frame") = Frame::Identity())
        .def_readonly("radius", &Sphere::radius, "[m]")
        .def_readonly("frame", &Sphere::frame, "Pose of the centre in the world")
        .def(
            "contains",
            [](const Sphere& sphere, const std::array<double, 3>& point) { return sphere.contains(as_point(point)); },
            py::arg("point"), "Whether the point [x, y, z] [m] lies inside or on the ball.")
        .def("__repr__", [](const Sphere& sphere) {
            std::ostringstream text;
            text << "Sphere(radius=" << sphere.radius << ", " << position_text(sphere.frame) << ")";
            return text.str();
        });

    py::class_<Cylinder>(m, "Cylinder", "A solid cylinder centred on its frame's origin, its axis along the frame's z.")
        .def(py::init<double, double, Frame>(), py::arg("radius"), py::arg("length"),
             py::arg("frame") = Frame::Identity())
        .def_readonly("radius", &Cylinder::radius, "[m]")
        .def_readonly("length", &Cylinder::length, "Length along the axis [m]")
        .def_readonly("frame", &Cylinder::frame, "Pose of the centre in the world")
        .def(
            "contains",
            [](const Cylinder& cylinder, const std::array<double, 3>& point) {
                return cylinder.contains(as_point(point));
            },
            py::arg("point"), "Whether the point [x, y, z] [m] lies inside or on the cylinder.")
        .def("__repr__", [](const Cylinder& cylinder) {
            std::ostringstream text;
            text << "Cylinder(radius=" << cylinder.radius << ", length=" << cylinder.length << ", "
                 << position_text(cylinder.frame) << ")";
            return text.str();
        });

    // The obstacle members join the Environment class registered earlier.
    py::class_<Environment, std::shared_ptr<Environment>>(m.attr("Environment"))
        .def("add_obstacle", &add_obstacle<Box>, py::arg("name"), py::arg("shape"),
             "Adds the obstacle, replacing one of the same name.")
        .def("add_obstacle", &add_obstacle<Sphere>, py::arg("name"), py::arg("shape"))
        .def("add_obstacle", &add_obstacle<Cylinder>, py::arg("name"), py::arg("shape"))
        .def("remove_obstacle", &Environment::remove_obstacle, py::arg("name"))
        .def("obstacles", &Environment::obstacles, "Every obstacle, keyed by name.")
        .def(
            "load_scene",
            [](Environment& environment, const std::filesystem::path& path) { environment.load_scene(path.string()); },
            py::arg("path"), "Replaces every obstacle by those of a scene file.")
        .def(
            "save_scene",
            [](const Environment& environment, const std::filesystem::path& path) {
                environment.save_scene(path.string());
            },
            py::arg("path"), "Writes the obstacles to a scene file.");
}

}  // namespace velmor::python
