#pragma once

#include <optional>
#include <string>

#include <velmor/drivers/devices/device.hpp>
#include <velmor/motion/shapes.hpp>

namespace velmor::drivers::devices {

//! A digital signal that is 1 while the robot's tool centre point is inside a box, such
//! as a presence sensor or a light curtain.
class ZoneSensor : public Device {
public:
    //! Watches the tool centre point of `arm` (empty: the robot's first arm). Named `name`,
    //! else after `signal`.
    ZoneSensor(std::string signal, velmor::Box region, std::string arm = {}, std::string name = {});

    [[nodiscard]] const std::string& signal() const { return signal_name; }
    [[nodiscard]] const velmor::Box& region() const { return zone; }
    [[nodiscard]] const std::string& arm() const { return arm_name; }

    //! Throws VelmorError (module "devices") in a cell without a robot.
    void attach(double now, Cell& cell) override;
    [[nodiscard]] double next_due() const override;
    void act(double now, Cell& cell) override;
    [[nodiscard]] bool watches_robot() const override { return true; }

private:
    std::string signal_name;
    velmor::Box zone;
    std::string arm_name;
    std::optional<bool> inside;
};

}  // namespace velmor::drivers::devices
