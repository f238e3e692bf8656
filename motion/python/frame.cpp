#include <sstream>

#include <pybind11/operators.h>
#include <pybind11/stl.h>

#include <velmor/motion/frame.hpp>

#include "bindings.hpp"

namespace py = pybind11;

namespace velmor::python {

void bind_frame(py::module_& m) {
    py::class_<Frame>(m, "Frame", "A rigid transformation: a position [m] and Z-Y'-X'' Euler angles a, b, c [rad].")
        .def(py::init<>(), "The identity.")
        .def(py::init([](double x, double y, double z, double a, double b, double c) {
                 return Frame::from_euler(x, y, z, a, b, c);
             }),
             py::arg("x"), py::arg("y"), py::arg("z"), py::arg("a") = 0.0, py::arg("b") = 0.0, py::arg("c") = 0.0,
             "From a position [m] and the angles a (about z), b (about y'), c (about x'') [rad].")
        .def_static("Identity", &Frame::Identity, "The identity frame.")
        .def_static("from_euler", &Frame::from_euler, py::arg("x"), py::arg("y"), py::arg("z"), py::arg("a"),
                    py::arg("b"), py::arg("c"))
        .def_static("from_translation", &Frame::from_translation, py::arg("x"), py::arg("y"), py::arg("z"))
        .def("to_euler", &Frame::to_euler, "[x, y, z, a, b, c]: position [m], then the angles [rad].")
        .def(
            "translation",
            [](const Frame& frame) {
                const Eigen::Vector3d t = frame.translation();
                return std::array<double, 3> {t.x(), t.y(), t.z()};
            },
            "Position [m] as [x, y, z].")
        .def(
            "rotation",
            [](const Frame& frame) {
                const Eigen::Matrix3d r = frame.rotation();
                std::array<std::array<double, 3>, 3> rows {};
                for (int i = 0; i < 3; ++i) {
                    for (int j = 0; j < 3; ++j) {
                        rows[i][j] = r(i, j);
                    }
                }
                return rows;
            },
            "Orientation as a rotation matrix, row by row.")
        .def("inverse", &Frame::inverse)
        .def(py::self * py::self)
        .def("__repr__", [](const Frame& frame) {
            const auto e = frame.to_euler();
            std::ostringstream text;
            text << "Frame(x=" << e[0] << ", y=" << e[1] << ", z=" << e[2] << ", a=" << e[3] << ", b=" << e[4]
                 << ", c=" << e[5] << ")";
            return text.str();
        });
}

}  // namespace velmor::python
