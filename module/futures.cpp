#include <chrono>
#include <future>
#include <string>

#include <velmor/drivers/driver.hpp>
#include <velmor/drivers/result.hpp>
#include <velmor/velmor_error.hpp>

#include "bindings.hpp"

namespace py = pybind11;

namespace velmor::python {

namespace {

// get and wait release the interpreter lock while they block: an event action
// that calls a script function needs the lock on the control-loop thread, and a
// waiting script thread that kept it would stall that motion for ever.
//
// Inside a control cycle, that is in an event action, they must not block at
// all: the loop that would complete the future is the one waiting.
template <typename T>
void refuse_to_block_inside_a_control_cycle(const std::shared_future<T>& future, const char* operation) {
    if (drivers::Driver::in_control_cycle() && future.valid() &&
        future.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
        throw VelmorError("driver", std::string(operation) +
                                        "() of a future that is not ready cannot wait inside an event action, "
                                        "which runs inside a control cycle; keep the future and wait on it "
                                        "outside the action.");
    }
}

//
// __await__ hands out a fresh future that is its own iterator; each __next__
// polls without blocking and yields None to the event loop until the command is
// done, then ends the iteration with the value as the result of the await.
template <typename T>
void bind_future(py::module_& m, const char* name) {
    using Future = std::shared_future<T>;
    py::class_<Future>(m, name)
        .def(
            "get",
            [](const Future& future) -> T {
                refuse_to_block_inside_a_control_cycle(future, "get");
                return future.get();
            },
            py::call_guard<py::gil_scoped_release>())
        .def(
            "wait",
            [](const Future& future) {
                refuse_to_block_inside_a_control_cycle(future, "wait");
                future.wait();
            },
            py::call_guard<py::gil_scoped_release>())
        .def("__await__", [](const Future& future) { return Future(future); })
        .def("__iter__", [](py::object self) { return self; })
        .def("__next__", [](const Future& future) -> py::object {
            if (!future.valid()) {
                throw std::future_error(std::future_errc::no_state);
            }
            if (future.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
                return py::none();
            }
            const py::object value = py::cast(T(future.get()));
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
