#include "script_callable.hpp"

#include <exception>

namespace py = pybind11;

namespace velmor::python {

std::shared_ptr<py::object> share_object(py::object object) {
    return {new py::object(std::move(object)), [](py::object* shared) {
                // After the interpreter is finalised no reference may be touched;
                // the object then goes with the process.
                if (Py_IsInitialized() == 0) {
                    return;
                }
                const py::gil_scoped_acquire gil;
                delete shared;
            }};
}

ScriptError::ScriptError(py::error_already_set& error)
    : std::runtime_error(error.what()), exception(share_object(error.value())) {}

void ScriptError::restore() const {
    PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(exception->ptr())), exception->ptr());
}

void ScriptCallable::operator()(double time) const {
    const py::gil_scoped_acquire gil;
    try {
        (*function)(time);
    } catch (py::error_already_set& error) {
        throw ScriptError(error);
    }
}

void register_script_error_translator() {
    py::register_exception_translator([](std::exception_ptr error) {
        try {
            if (error) {
                std::rethrow_exception(error);
            }
        } catch (const ScriptError& script_error) {
            script_error.restore();
        }
    });
}

}  // namespace velmor::python
