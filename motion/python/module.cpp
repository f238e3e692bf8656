#include <velmor/common/velmor_error_translator.hpp>

#include "bindings.hpp"

// Order matters: every type is registered before a later signature names it.
PYBIND11_MODULE(velmor, m) {
    m.doc() = "Velmor motion library: robots, planning, trajectories and the Mirava client.";
    velmor::python::register_velmor_error_translator();
    velmor::python::bind_frame(m);
    velmor::python::bind_trajectory(m);
    velmor::python::bind_points(m);
    velmor::python::bind_robots(m);
    velmor::python::bind_planner(m);
    velmor::python::bind_mirava(m);
    velmor::python::bind_shapes(m);
    velmor::python::bind_collision(m);
}
