#pragma once

#include <cstdint>
#include <string>

#include <velmor/drivers/devices/device.hpp>

namespace velmor::drivers::devices {

//! A digital signal that turns 1 and back to 0 at a fixed period, such as a heartbeat.
class Pulse : public Device {
public:
    //! The shortest period [s]: faster signals would flood the recording and the page.
    static constexpr double min_period {1e-3};

    //! `signal` is 1 for `duty` × `period` [s] from the moment the device is added, then 0
    //! until the period is over, and so on. Named `name`, else after `signal`. Throws
    //! VelmorError (module "devices") for a period below min_period or not finite, or a duty
    //! outside (0, 1).
    Pulse(std::string signal, double period, double duty = 0.5, std::string name = {});

    [[nodiscard]] const std::string& signal() const { return signal_name; }
    [[nodiscard]] double period() const { return period_length; }
    [[nodiscard]] double duty() const { return duty_share; }

    void attach(double now, Cell& cell) override;
    [[nodiscard]] double next_due() const override;
    void act(double now, Cell& cell) override;

private:
    std::string signal_name;
    double period_length;
    double duty_share;
    double start {0.0};
    // Edges made so far: an even count makes a rising edge next, an odd one a falling edge.
    std::uint64_t edges {0};
};

}  // namespace velmor::drivers::devices
