#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include <velmor/drivers/devices/device.hpp>

namespace velmor::drivers::devices {

//! Parts arriving at a place: a digital signal that is 1 while a part is there. Parts
//! arrive `first` [s] after the device is added and then every `every` [s], `count` of
//! them in all; a part stays until the program takes it by setting the output `taken_by`
//! to a value other than 0 (without one it never leaves). A part that arrives while the
//! place is taken waits and shows up as soon as the place is free.
class Feeder : public Device {
public:
    //! Named `name`, else after `signal`. Throws VelmorError (module "devices") for a
    //! negative or infinite `first`, an `every` below a millisecond or not finite, or a count of 0.
    Feeder(std::string signal, double first, std::optional<double> every = std::nullopt,
           std::optional<std::uint64_t> count = std::nullopt, std::optional<std::string> taken_by = std::nullopt,
           std::string name = {});

    [[nodiscard]] const std::string& signal() const { return signal_name; }
    //! Parts that have arrived so far.
    [[nodiscard]] std::uint64_t arrived() const { return arrivals; }

    void attach(double now, Cell& cell) override;
    [[nodiscard]] double next_due() const override;
    void act(double now, Cell& cell) override;
    void observe(const std::string& signal, const SignalValue& value, double time) override;

private:
    [[nodiscard]] double next_arrival() const;

    std::string signal_name;
    double first;
    std::optional<double> every;
    std::optional<std::uint64_t> count;
    std::optional<std::string> taken_by;
    double start {0.0};
    std::uint64_t arrivals {0};
    // Parts arrived and not yet shown, because the place was taken.
    std::uint64_t waiting {0};
    bool present {false};
    // When the part present was taken; it leaves at that time.
    std::optional<double> taken_at;
};

}  // namespace velmor::drivers::devices
