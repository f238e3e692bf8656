#include <velmor/drivers/devices/zone_sensor.hpp>

#include <limits>
#include <utility>

#include <velmor/common/utf8_text.hpp>
#include <velmor/velmor_error.hpp>

#include "device_checks.hpp"

namespace velmor::drivers::devices {

ZoneSensor::ZoneSensor(std::string signal, velmor::Box region, std::string arm, std::string name)
    : Device(name_or(std::move(name), signal)),
      signal_name(std::move(signal)),
      zone(std::move(region)),
      arm_name(std::move(arm)) {}

void ZoneSensor::attach(double now, Cell& cell) {
    if (!cell.tool_point(arm_name)) {
        throw VelmorError("devices", "The ZoneSensor '" + as_utf8(name()) +
                                         "' watches a robot: add it to a driver, not to a controller of its own.");
    }
    inside.reset();
    act(now, cell);
}

double ZoneSensor::next_due() const {
    return std::numeric_limits<double>::infinity();
}

void ZoneSensor::act(double /*now*/, Cell& cell) {
    const auto point = cell.tool_point(arm_name);
    // A point that is not a number is outside, as for the workspace limit.
    const bool now_inside = point && point->allFinite() && zone.contains(*point);
    if (inside != now_inside) {
        inside = now_inside;
        cell.write(signal_name, std::int32_t {now_inside ? 1 : 0});
    }
}

}  // namespace velmor::drivers::devices
