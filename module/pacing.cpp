#include <velmor/drivers/pacing.hpp>

#include "bindings.hpp"

namespace py = pybind11;

namespace velmor::python {

void bind_pacing(py::module_& m) {
    using drivers::Pacing;
    py::enum_<Pacing>(m, "Pacing", "How a free-running control loop spaces its cycles in wall-clock time")
        .value("PauseAfterWork", Pacing::PauseAfterWork,
               "A pause of delta_time / time_speed after each cycle's work (the default)")
        .value("FixedRate", Pacing::FixedRate, "Cycles start on a fixed grid of deadlines: no drift");
}

}  // namespace velmor::python
