#include <velmor/drivers/events.hpp>

#include "bindings.hpp"
#include "script_callable.hpp"

namespace py = pybind11;

namespace velmor::python {

// The comparisons and logical operators are plain methods, not operators: an
// operand that does not convert raises TypeError instead of NotImplemented.
void bind_events(py::module_& m) {
    using drivers::Action;
    using drivers::Trigger;

    py::class_<Trigger> trigger(m, "Trigger");
    py::class_<Trigger::Value>(trigger, "Value")
        .def("__gt__", [](const Trigger::Value& value, double threshold) { return value > threshold; })
        .def("__ge__", [](const Trigger::Value& value, double threshold) { return value >= threshold; })
        .def("__lt__", [](const Trigger::Value& value, double threshold) { return value < threshold; })
        .def("__le__", [](const Trigger::Value& value, double threshold) { return value <= threshold; })
        .def("__eq__", [](const Trigger::Value& value, double threshold) { return value == threshold; })
        .def("__ne__", [](const Trigger::Value& value, double threshold) { return value != threshold; });
    trigger.def_static("Time", &Trigger::Time)
        .def_static("TimeToGoal", &Trigger::TimeToGoal)
        .def_static("JointPosition", &Trigger::JointPosition, py::arg("dof"))
        .def_static("TCPPosition", &Trigger::TCPPosition, py::arg("axis"))
        .def_static("IO", &Trigger::IO, py::arg("name"))
        .def("__and__", [](const Trigger& a, const Trigger& b) { return a && b; })
        .def("__or__", [](const Trigger& a, const Trigger& b) { return a || b; })
        .def("__str__", &Trigger::to_string)
        .def("__repr__", [](const Trigger& self) { return "<Trigger " + self.to_string() + ">"; });

    py::class_<Action>(m, "Action").def(py::init([](py::function method) { return Action(ScriptCallable(method)); }),
                                        py::arg("method"));
    py::implicitly_convertible<py::function, Action>();
    register_script_error_translator();
}

}  // namespace velmor::python
