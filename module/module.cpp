#include "bindings.hpp"

// Registration order is part of the module's contract: each class is
// registered before any later signature names it.
PYBIND11_MODULE(velmor_driver_simulated, m) {
    m.doc() = "Velmor Driver for Simulated Robots.";
    m.attr("__version__") = VELMOR_VERSION;

    velmor::python::bind_results(m);
    velmor::python::bind_futures(m);
    velmor::python::bind_controller_status(m);
    velmor::python::bind_state(m);
    velmor::python::bind_events(m);
    velmor::python::bind_driver(m);

    // Classes nested in SimulatedDriver are registered between its creation and
    // its members, so that the members' signatures can name them.
    auto simulated_driver = velmor::python::declare_simulated_driver(m);
    velmor::python::bind_simulated_io(simulated_driver);
    velmor::python::bind_simulated_driver(simulated_driver);
    velmor::python::bind_simulated_driver_io(simulated_driver);

    // Recordings came later; their classes follow all the others.
    velmor::python::bind_recording_records(m);
    velmor::python::bind_recording(m);

    // Then what rehearses faults, safety limits and stepping.
    velmor::python::bind_rehearsal_types(m);
    velmor::python::bind_rehearsal(simulated_driver);
}
