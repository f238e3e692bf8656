#pragma once

#include <optional>
#include <string>

#include <Eigen/Core>

#include <velmor/drivers/signal_value.hpp>

namespace velmor::drivers::devices {

//! What a device sees of its cell and changes in it while it acts; valid only for the
//! call that hands it out.
class Cell {
public:
    virtual ~Cell() = default;
    //! The value of the signal of that name; empty when there is none.
    [[nodiscard]] virtual std::optional<SignalValue> read(const std::string& name) const = 0;
    //! Writes the signal as the device (an integer to a digital signal, a float to an
    //! analog one), inputs included. Throws VelmorError (module "devices") for an unknown
    //! signal or one of the other kind.
    virtual void write(const std::string& name, SignalValue value) = 0;
    //! Where the tool centre point of `arm` (empty: the robot's first arm) is now [m];
    //! empty when the cell has no robot. Throws VelmorError (module "devices") for an arm
    //! the robot does not have.
    [[nodiscard]] virtual std::optional<Eigen::Vector3d> tool_point(const std::string& arm) const = 0;
};

//! A device of the cell that answers the program through the I/O signals, on the
//! simulated clock: it acts at the times it names itself (next_due) and, when it
//! watches the robot, in every control cycle. The devices of a cell are called one at a
//! time, in the order they were added, so a device needs no lock of its own; once
//! added it belongs to its cell until removed.
class Device {
public:
    //! Throws VelmorError (module "devices") for an empty name.
    explicit Device(std::string name);
    virtual ~Device() = default;
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    //! Its name, unique in its cell; the source of its changes is "device:<name>".
    [[nodiscard]] const std::string& name() const { return device_name; }

    //! Joins the cell at simulated time `now` [s]; may throw to refuse it.
    virtual void attach(double now, Cell& cell);
    //! The simulated time [s] of its next own action; infinity when it has none.
    [[nodiscard]] virtual double next_due() const = 0;
    //! Acts at simulated time `now` [s]: everything due at or before it.
    virtual void act(double now, Cell& cell) = 0;
    //! A signal, of any source, took `value` at simulated time `time` [s].
    virtual void observe(const std::string& signal, const SignalValue& value, double time);
    //! Whether it acts in every control cycle of a motion and whenever the robot is placed.
    [[nodiscard]] virtual bool watches_robot() const { return false; }

private:
    std::string device_name;
};

}  // namespace velmor::drivers::devices
