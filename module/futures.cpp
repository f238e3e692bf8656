#include <chrono>
#include <future>
#include <optional>
#include <string>

#include <pybind11/stl.h>

#include <velmor/drivers/driver.hpp>
#include <velmor/drivers/result.hpp>

#include "bindings.hpp"
#include "script_future.hpp"

namespace py = pybind11;

namespace velmor::python {

namespace {

// get and wait release the interpreter lock while they block: an event action
// that calls a script function needs the lock on the control-loop thread, and a
// waiting script thread that kept it would stall that motion for ever. The driver
// refuses a wait inside one of its own control cycles, where the loop that would
// complete the future is the one waiting, and steps itself for a wait in stepping mode.
template <typename T>
bool wait_until_done(const ScriptFuture<T>& self, std::optional<double> timeout) {
    const py::gil_scoped_release unlocked;
    if (const auto driver = self.driver.lock()) {
        return driver->wait(self.future, timeout);
    }
    // A driver that is gone has completed or broken every promise it made.
    if (!self.future.valid()) {
        throw std::future_error(std::future_errc::no_state);
    }
    self.future.wait();
    return true;
}

template <typename T>
T get_value(const ScriptFuture<T>& self, std::optional<double> timeout) {
    if (!wait_until_done(self, timeout)) {
        PyErr_SetString(PyExc_TimeoutError,
                        ("the command was not done within " + std::to_string(*timeout) + " s; it goes on").c_str());
        throw py::error_already_set();
    }
    const py::gil_scoped_release unlocked;
    return self.future.get();
}

// __await__ hands out a fresh future that is its own iterator; each __next__
// polls without blocking and yields None to the event loop until the command is
// done, then ends the iteration with the value as the result of the await.
template <typename T>
void bind_future(py::module_& m, const char* name) {
    using Future = ScriptFuture<T>;
    py::class_<Future>(m, name)
        .def("get", &get_value<T>, py::arg("timeout") = py::none(),
             "The command's result, once done; raises TimeoutError when timeout [s] passes first")
        .def("wait", &wait_until_done<T>, py::arg("timeout") = py::none(),
             "Waits until the command is done, at most timeout [s]; whether it is done")
        .def("__await__", [](const Future& future) { return Future(future); })
        .def("__iter__", [](py::object self) { return self; })
        .def("__next__", [](const Future& self) -> py::object {
            if (!self.future.valid()) {
                throw std::future_error(std::future_errc::no_state);
            }
            if (self.future.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
                return py::none();
            }
            const py::object value = py::cast(T(self.future.get()));
            PyErr_SetObject(PyExc_StopIteration, value.ptr());
            throw py::error_already_set();
        });
}

}  // namespace

void bind_futures(py::module_& m) {
    bind_future<drivers::Result>(m, "FutureResult");
    bind_future<bool>(m, "FutureBool");
}

}  // namespace velmor::python
