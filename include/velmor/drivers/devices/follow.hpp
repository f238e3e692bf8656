#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <string>

#include <velmor/drivers/devices/device.hpp>

namespace velmor::drivers::devices {

//! A signal that takes another's value a fixed time after each change, such as a
//! gripper's "closed" feedback following its command output.
class Follow : public Device {
public:
    //! Changes queued at most: a source that changes faster than `delay` lets pass would
    //! otherwise grow the queue without bound.
    static constexpr std::size_t max_pending {65'536};

    //! `target` takes `source`'s value `delay` [s] after each change, mapped through
    //! `value_map` (values it does not name pass unchanged). Named `name`, else after
    //! `target`. Throws VelmorError (module "devices") for a delay that is negative or not
    //! finite, and for a target that is its own source.
    Follow(std::string source, std::string target, double delay, std::map<std::int32_t, std::int32_t> value_map = {},
           std::string name = {});

    [[nodiscard]] const std::string& source() const { return source_name; }
    [[nodiscard]] const std::string& target() const { return target_name; }
    [[nodiscard]] double delay() const { return delay_time; }

    [[nodiscard]] double next_due() const override;
    void act(double now, Cell& cell) override;
    void observe(const std::string& signal, const SignalValue& value, double time) override;

private:
    struct Change {
        double due;
        SignalValue value;
    };

    std::string source_name;
    std::string target_name;
    double delay_time;
    std::map<std::int32_t, std::int32_t> value_map;
    std::deque<Change> pending;
};

}  // namespace velmor::drivers::devices
