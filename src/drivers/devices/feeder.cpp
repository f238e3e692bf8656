#include <velmor/drivers/devices/feeder.hpp>

#include <algorithm>
#include <limits>
#include <utility>

#include <velmor/velmor_error.hpp>

#include "device_checks.hpp"

namespace velmor::drivers::devices {

Feeder::Feeder(std::string signal, double first, std::optional<double> every, std::optional<std::uint64_t> count,
               std::optional<std::string> taken_by, std::string name)
    : Device(name_or(std::move(name), signal)),
      signal_name(std::move(signal)),
      first(checked_time(first, 0.0, "time of a Feeder's first part")),
      every(every ? std::optional(checked_time(*every, 1e-3, "time between a Feeder's parts")) : std::nullopt),
      count(count),
      taken_by(std::move(taken_by)) {
    if (count && *count == 0) {
        throw VelmorError("devices", "A Feeder brings at least one part; got a count of 0.");
    }
}

void Feeder::attach(double now, Cell& /*cell*/) {
    start = now;
    arrivals = 0;
    waiting = 0;
    present = false;
    taken_at.reset();
}

double Feeder::next_arrival() const {
    const std::uint64_t limit = count.value_or(every ? std::numeric_limits<std::uint64_t>::max() : 1);
    if (arrivals >= limit) {
        return std::numeric_limits<double>::infinity();
    }
    return start + first + static_cast<double>(arrivals) * every.value_or(0.0);
}

double Feeder::next_due() const {
    return taken_at ? std::min(*taken_at, next_arrival()) : next_arrival();
}

void Feeder::observe(const std::string& signal, const SignalValue& value, double time) {
    const auto* digital = std::get_if<std::int32_t>(&value);
    if (taken_by && signal == *taken_by && present && !taken_at && digital != nullptr && *digital != 0) {
        taken_at = time;
    }
}

void Feeder::act(double now, Cell& cell) {
    while (next_arrival() <= now) {
        ++arrivals;
        ++waiting;
    }
    if (taken_at && *taken_at <= now) {
        taken_at.reset();
        present = false;
        cell.write(signal_name, std::int32_t {0});
    }
    if (!present && waiting > 0) {
        --waiting;
        present = true;
        cell.write(signal_name, std::int32_t {1});
    }
}

}  // namespace velmor::drivers::devices
