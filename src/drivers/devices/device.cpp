#include <velmor/drivers/devices/device.hpp>

#include <utility>

#include <velmor/velmor_error.hpp>

namespace velmor::drivers::devices {

Device::Device(std::string name) : device_name(std::move(name)) {
    if (device_name.empty()) {
        throw VelmorError("devices", "A device needs a name.");
    }
}

void Device::attach(double /*now*/, Cell& /*cell*/) {}

void Device::observe(const std::string& /*signal*/, const SignalValue& /*value*/, double /*time*/) {}

}  // namespace velmor::drivers::devices
