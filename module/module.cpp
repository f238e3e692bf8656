#include <velmor/common/velmor_error_translator.hpp>

#include "bindings.hpp"

// One file per bound class or family of values; a class bound in two steps
// has both in its file. The order of the module's names is part of its surface
// (older names first), and a signature reads Python type names only for classes
// registered before it: members that name a later class follow that class.
PYBIND11_MODULE(velmor_driver_simulated, m) {
    m.doc() = "Velmor Driver for Simulated Robots.";
    m.attr("__version__") = VELMOR_VERSION;
    velmor::python::register_velmor_error_translator();

    velmor::python::bind_results(m);
    velmor::python::bind_futures(m);
    velmor::python::bind_controller_status(m);
    velmor::python::bind_robot_state(m);
    velmor::python::bind_events(m);
    velmor::python::bind_driver(m);
    auto simulated_driver = velmor::python::bind_simulated_driver(m);

    velmor::python::bind_records(m);
    velmor::python::bind_recording(m);
    velmor::python::bind_driver_record(m);

    velmor::python::bind_fault(m);
    velmor::python::bind_pacing(m);
    velmor::python::bind_safety_limits(m);
    velmor::python::bind_simulated_driver_faults_and_stepping(simulated_driver);

    velmor::python::bind_devices(m);
    velmor::python::bind_driver_devices(simulated_driver);
    velmor::python::bind_log_bridge(m);
}
