#include <velmor/drivers/devices/callback.hpp>

#include <utility>

#include <velmor/velmor_error.hpp>

#include "device_checks.hpp"

namespace velmor::drivers::devices {

Callback::Callback(std::string name, double period, Function function)
    : Device(std::move(name)),
      period_length(checked_time(period, min_period, "period of a Callback device")),
      function(std::move(function)) {
    if (!this->function) {
        throw VelmorError("devices", "A Callback device needs a function to call.");
    }
}

void Callback::attach(double now, Cell& /*cell*/) {
    start = now;
    calls = 0;
}

double Callback::next_due() const {
    return start + static_cast<double>(calls + 1) * period_length;
}

void Callback::act(double now, Cell& cell) {
    while (next_due() <= now) {
        const double due = next_due();
        // Counted first: a function that throws is not called again for the same period.
        ++calls;
        function(due, cell);
    }
}

}  // namespace velmor::drivers::devices
