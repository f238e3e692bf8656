#include <string>
#include <utility>
#include <vector>

#include <velmor/drivers/controller_status.hpp>
#include <velmor/drivers/result.hpp>

#include "bindings.hpp"

namespace py = pybind11;

namespace velmor::python {

namespace {

// pybind11's static property type has no instance dictionary, and Python 3.11
// drops the docstring given to a property subclass, so a static property shows
// no docstring. A subclass made by `type` has an instance dictionary, where the
// docstring is then set. Made once and kept for the life of the process.
py::handle documented_static_property_type() {
    static const py::handle type = [] {
        const auto base = py::reinterpret_borrow<py::object>(
            reinterpret_cast<PyObject*>(py::detail::get_internals().static_property_type));
        py::dict namespace_;
        namespace_["__module__"] = "velmor_driver_simulated";
        return py::type::of(base)("documented_static_property", py::make_tuple(base), namespace_).release();
    }();
    return type;
}

template <typename T>
using Constants = std::vector<std::pair<const char*, const T*>>;

// Result and ControllerStatus share one shape: read-only constants that refer
// to the native statics (their description is the docstring), `value`,
// `description`, comparisons by value and the truth test value > 0. The
// comparisons are operators, so a foreign operand yields NotImplemented.
template <typename T, typename Repr>
void bind_description(py::module_& m, const char* name, const Constants<T>& constants, Repr repr) {
    py::class_<T> cls(m, name);
    for (const auto& [constant_name, constant] : constants) {
        const py::cpp_function getter([constant](const py::object&) { return constant; },
                                      py::return_value_policy::reference);
        py::object property = documented_static_property_type()(getter, py::none(), py::none());
        property.attr("__doc__") = constant->description;
        cls.attr(constant_name) = property;
    }
    cls.def_property_readonly("value", [](const T& self) { return self.value; })
        .def_property_readonly("description", [](const T& self) { return self.description; })
        .def("__lt__", [](const T& a, const T& b) { return a < b; }, py::is_operator())
        .def("__gt__", [](const T& a, const T& b) { return a > b; }, py::is_operator())
        .def("__le__", [](const T& a, const T& b) { return a <= b; }, py::is_operator())
        .def("__ge__", [](const T& a, const T& b) { return a >= b; }, py::is_operator())
        .def("__eq__", [](const T& a, const T& b) { return a == b; }, py::is_operator())
        .def("__ne__", [](const T& a, const T& b) { return a != b; }, py::is_operator())
        .def("__bool__", [](const T& self) { return self.value > 0; })
        .def("__repr__", repr);
}

}  // namespace

void bind_results(py::module_& m) {
    using drivers::Result;
    const Constants<Result> constants {
        {"Success", &Result::Success},
        {"Error", &Result::Error},
        {"ErrorStartPositionDeviation", &Result::ErrorStartPositionDeviation},
        {"ErrorTrajectoryDidNotUpdate", &Result::ErrorTrajectoryDidNotUpdate},
        {"ErrorReachGoalTimeout", &Result::ErrorReachGoalTimeout},
        {"ErrorCommandAlreadyInProgress", &Result::ErrorCommandAlreadyInProgress},
        {"ErrorTrajectoryAborted", &Result::ErrorTrajectoryAborted},
        {"ErrorController", &Result::ErrorController},
        {"ErrorControllerEStopActive", &Result::ErrorControllerEStopActive},
        {"ErrorControllerSafetyViolation", &Result::ErrorControllerSafetyViolation},
        {"ErrorControllerAlarmActive", &Result::ErrorControllerAlarmActive},
        {"ErrorControllerNotInAutoMode", &Result::ErrorControllerNotInAutoMode},
        {"ErrorControllerNotInRemoteMode", &Result::ErrorControllerNotInRemoteMode},
        {"ErrorControllerInHoldState", &Result::ErrorControllerInHoldState},
        {"ErrorControllerEnableMotors", &Result::ErrorControllerEnableMotors},
        {"ErrorControllerProgramStopped", &Result::ErrorControllerProgramStopped},
        {"ErrorControllerSendingStop", &Result::ErrorControllerSendingStop},
        {"ErrorControllerConnection", &Result::ErrorControllerConnection},
    };
    bind_description<Result>(m, "Result", constants, [](const Result& self) {
        return "[" + std::to_string(self.value) + "] " + self.description;
    });
}

void bind_controller_status(py::module_& m) {
    using drivers::ControllerStatus;
    const Constants<ControllerStatus> constants {
        {"Ready", &ControllerStatus::Ready},     {"NotReady", &ControllerStatus::NotReady},
        {"Busy", &ControllerStatus::Busy},       {"Alarm", &ControllerStatus::Alarm},
        {"Failure", &ControllerStatus::Failure}, {"Unknown", &ControllerStatus::Unknown},
    };
    bind_description<ControllerStatus>(m, "ControllerStatus", constants,
                                       [](const ControllerStatus& self) { return self.description; });
}

}  // namespace velmor::python
