#pragma once

#include <functional>
#include <string>

#include <velmor/drivers/devices/device.hpp>

namespace velmor::drivers::devices {

//! Any other device: a function of the simulated time and the cell, called at a fixed period.
class Callback : public Device {
public:
    using Function = std::function<void(double time, Cell& cell)>;
    //! The shortest period [s], as for Pulse.
    static constexpr double min_period {1e-3};

    //! Calls `function` every `period` [s] from the moment the device is added (not at
    //! that moment itself). Throws VelmorError (module "devices") for a period below
    //! min_period or not finite, or an empty function.
    Callback(std::string name, double period, Function function);

    [[nodiscard]] double period() const { return period_length; }

    void attach(double now, Cell& cell) override;
    [[nodiscard]] double next_due() const override;
    void act(double now, Cell& cell) override;

private:
    double period_length;
    Function function;
    double start {0.0};
    std::uint64_t calls {0};
};

}  // namespace velmor::drivers::devices
