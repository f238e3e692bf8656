// Controller, nested in SimulatedDriver: the simulated controller's I/O, and
// the viewer that serves it.
#include <chrono>
#include <csignal>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <velmor/drivers/simulated/controller.hpp>
#include <velmor/drivers/simulated/signal.hpp>

#include "bindings.hpp"

namespace py = pybind11;

namespace velmor::python {

namespace {

using drivers::simulated::Controller;

// How long the wait for a viewer runs between two looks at the script's signals.
constexpr auto signal_check_interval = std::chrono::milliseconds(100);

// Closes the viewer as destruction would, and waits for it to end with the
// interpreter lock released, in slices between which the script's signal
// handlers run. True when a handler raised KeyboardInterrupt (Ctrl-C): every
// page has then been dropped, so that the controller goes at once.
bool wait_for_viewer(Controller& controller) {
    const auto viewer = controller.get_viewer();
    if (viewer == nullptr) {
        return false;
    }
    if (!controller.keeps_io_viewer_running()) {
        viewer->close();
    }
    while (true) {
        bool ended = false;
        {
            const py::gil_scoped_release unlocked;
            ended = viewer->wait_ended(signal_check_interval);
        }
        if (ended) {
            return false;
        }
        if (PyErr_CheckSignals() == 0) {
            continue;
        }
        viewer->stop();
        const bool interrupted = PyErr_ExceptionMatches(PyExc_KeyboardInterrupt) != 0;
        if (interrupted) {
            PyErr_Clear();
        } else {
            PyErr_WriteUnraisable(nullptr);
        }
        return interrupted;
    }
}

// Destroying a controller that serves the viewer waits for the server thread,
// which ends only when every open page has disconnected, and never while the
// viewer is kept running. A page may be a client in this very process (a script
// thread with a WebSocket), which needs the interpreter lock to close; so the
// wait happens with the lock released. Signal handlers of the script run only
// when the interpreter gets the chance, so the wait gives it one now and then:
// otherwise Ctrl-C would be caught by the interpreter's handler and never acted on.
struct ReleasingDeleter {
    void operator()(Controller* controller) const {
        if (Py_IsInitialized() == 0 || PyGILState_Check() == 0) {
            delete controller;
            return;
        }
        const bool interrupted = wait_for_viewer(*controller);
        {
            const py::gil_scoped_release unlocked;
            delete controller;
        }
        // A destructor cannot raise; the interrupt is handed on to the script
        // as if it came now, so KeyboardInterrupt follows the controller's end.
        if (interrupted) {
            PyErr_SetInterruptEx(SIGINT);
        }
    }
};

using ControllerHolder = std::unique_ptr<Controller, ReleasingDeleter>;

}  // namespace

void bind_controller(SimulatedDriverClass& simulated_driver) {
    py::class_<Controller, ControllerHolder>(simulated_driver, "Controller", "")
        .def(py::init([](bool serve_io_viewer, bool keep_io_viewer_running, bool strict_io) {
                 ControllerHolder controller(new Controller(serve_io_viewer, keep_io_viewer_running));
                 controller->strict_io = strict_io;
                 return controller;
             }),
             py::arg("serve_io_viewer") = true, py::arg("keep_io_viewer_running") = false,
             py::arg("strict_io") = false)
        .def_readwrite("connect_result", &Controller::connect_result)
        .def("create_io", &Controller::create_io, py::arg("name"), py::arg("default_value"),
             py::arg("direction") = py::none())
        .def("load_io_config", &Controller::load_io_config, py::arg("config"))
        .def("load_io_config_from_file", &Controller::load_io_config_from_file, py::arg("file"))
        .def("get_digital_input", &Controller::get_digital_input, py::arg("name"))
        .def("set_digital_output", &Controller::set_digital_output, py::arg("name"), py::arg("value"));
}

}  // namespace velmor::python
