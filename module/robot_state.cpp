#include <pybind11/stl.h>

#include <velmor/drivers/robot_state.hpp>

#include "bindings.hpp"

namespace py = pybind11;

namespace velmor::python {

void bind_robot_state(py::module_& m) {
    py::class_<RobotState>(m, "RobotState")
        .def_readwrite("position", &RobotState::position)
        .def_readwrite("velocity", &RobotState::velocity)
        .def_readwrite("acceleration", &RobotState::acceleration);
}

}  // namespace velmor::python
