#include <velmor/drivers/devices/pulse.hpp>

#include <utility>

#include <velmor/velmor_error.hpp>

#include "device_checks.hpp"

namespace velmor::drivers::devices {

Pulse::Pulse(std::string signal, double period, double duty, std::string name)
    : Device(name_or(std::move(name), signal)),
      signal_name(std::move(signal)),
      period_length(checked_time(period, min_period, "period of a Pulse device")),
      duty_share(duty) {
    if (!(duty > 0.0 && duty < 1.0)) {
        throw VelmorError("devices", "The duty of a Pulse device lies between 0 and 1 (exclusive); got " +
                                         std::to_string(duty) + ".");
    }
}

void Pulse::attach(double now, Cell& /*cell*/) {
    start = now;
    edges = 0;
}

double Pulse::next_due() const {
    // Worked out from the count, not summed up, so that a long run does not drift.
    const auto periods = static_cast<double>(edges / 2);
    return start + (periods + (edges % 2 == 0 ? 0.0 : duty_share)) * period_length;
}

void Pulse::act(double now, Cell& cell) {
    while (next_due() <= now) {
        cell.write(signal_name, std::int32_t {edges % 2 == 0 ? 1 : 0});
        ++edges;
    }
}

}  // namespace velmor::drivers::devices
