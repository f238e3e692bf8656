#include <velmor/drivers/devices/follow.hpp>

#include <limits>
#include <utility>

#include <velmor/common/utf8_text.hpp>
#include <velmor/velmor_error.hpp>

#include "device_checks.hpp"

namespace velmor::drivers::devices {

Follow::Follow(std::string source, std::string target, double delay, std::map<std::int32_t, std::int32_t> value_map,
               std::string name)
    : Device(name_or(std::move(name), target)),
      source_name(std::move(source)),
      target_name(std::move(target)),
      delay_time(checked_time(delay, 0.0, "delay of a Follow device")),
      value_map(std::move(value_map)) {
    if (source_name == target_name) {
        throw VelmorError("devices", "A Follow device cannot make '" + as_utf8(target_name) + "' follow itself.");
    }
}

double Follow::next_due() const {
    return pending.empty() ? std::numeric_limits<double>::infinity() : pending.front().due;
}

void Follow::observe(const std::string& signal, const SignalValue& value, double time) {
    if (signal != source_name) {
        return;
    }
    if (pending.size() >= max_pending) {
        throw VelmorError("devices", "The Follow device '" + as_utf8(name()) + "' has " + std::to_string(max_pending) +
                                         " changes of '" + as_utf8(source_name) +
                                         "' waiting: its source changes faster than its delay lets them pass.");
    }
    SignalValue mapped = value;
    if (const auto* digital = std::get_if<std::int32_t>(&value)) {
        if (const auto found = value_map.find(*digital); found != value_map.end()) {
            mapped = found->second;
        }
    }
    pending.push_back(Change {time + delay_time, mapped});
}

void Follow::act(double now, Cell& cell) {
    while (!pending.empty() && pending.front().due <= now) {
        const SignalValue value = pending.front().value;
        pending.pop_front();
        cell.write(target_name, value);
    }
}

}  // namespace velmor::drivers::devices
