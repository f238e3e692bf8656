#pragma once

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <Eigen/Core>

#include <velmor/drivers/devices/device.hpp>

namespace velmor::drivers::devices {

//! The devices of one cell and when they act. They act when the clock rings its alarm
//! (set to the earliest time any of them names, or at once after a signal changed), in
//! every control cycle for those that watch the robot, and whenever the robot is placed.
//! Without a clock of its own (a controller on its own) the owner advances a manual one.
//!
//! A device that throws is removed; its error is logged and the first one kept for
//! take_failure().
//!
//! Locks, taken in this order: `mutex` guards the devices, the failure and the hooks and
//! is held while devices act; the signal table's lock is taken inside it by their writes;
//! `inbox_mutex` guards the changes not yet shown to the devices and is taken inside the
//! table's lock by signal_changed(); the clock's lock comes last.
class CellDevices {
public:
    //! How the devices reach the signals and the robot.
    struct Io {
        std::function<std::optional<SignalValue>(const std::string& name)> read;
        //! Writes a signal in the name of a device; throws for an unknown one or the other kind.
        std::function<void(const std::string& device, const std::string& name, SignalValue value)> write;
        //! Empty in a cell without a robot.
        std::function<std::optional<Eigen::Vector3d>(const std::string& arm)> tool_point;
    };
    //! The clock that devices act on.
    struct Timing {
        std::function<double()> now;
        //! The alarm to ring at the given time (infinity: none; minus infinity: at once).
        std::function<void(double)> set_alarm;
    };

    //! Devices that keep acting at one instant (each change making another) are cut off after this many rounds.
    static constexpr int max_rounds {1000};
    //! Changes kept for the devices between two of their actions at most; more fail the
    //! devices (at time_speed 0 nothing makes them act until the program waits or moves).
    static constexpr std::size_t max_inbox {65'536};

    //! Devices on a manual clock at 0, advanced by advance().
    explicit CellDevices(Io io);
    CellDevices(const CellDevices&) = delete;
    CellDevices& operator=(const CellDevices&) = delete;

    //! Acts on `timing` from now on instead of the manual clock, and reaches the robot
    //! through `tool_point`; called once, before any other use from another thread
    //! (signal_changed() and now() read the timing without a lock).
    void use_clock(Timing timing, std::function<std::optional<Eigen::Vector3d>(const std::string&)> tool_point);
    //! Whether a clock was given to use_clock().
    [[nodiscard]] bool has_own_clock() const;

    //! Adds `device` after the others, attached at the current time. Throws VelmorError
    //! (module "devices") for a null device or a name taken, and what attach throws.
    void add(std::shared_ptr<Device> device);
    //! Removes the device of that name; whether there was one.
    bool remove(const std::string& name);
    //! The devices, in order.
    [[nodiscard]] std::vector<std::shared_ptr<Device>> list() const;
    //! Whether the cell has devices (cheap: for the control cycle).
    [[nodiscard]] bool empty() const { return count.load() == 0; }
    //! Whether some device acts in every control cycle (cheap).
    [[nodiscard]] bool watches_robot() const { return watchers.load() > 0; }

    //! A signal changed: shown to the devices when they next act, which is at once.
    //! Called with the signal table's lock held.
    void signal_changed(const std::string& name, const SignalValue& value);
    //! Lets every device due at `time` [s] act, and with `robot_moved` those that watch the robot.
    void ring(double time, bool robot_moved = false);

    //! The time [s] of the clock the devices act on.
    [[nodiscard]] double now() const;
    //! Advances the manual clock by `seconds`, each device acting at the times it names.
    //! Throws VelmorError (module "devices") for a length that is negative or not finite,
    //! or when a clock was given, and rethrows the error of a device that failed meanwhile.
    void advance(double seconds);
    //! The first error of a device since the last call, which removed that device; null when none.
    std::exception_ptr take_failure();

private:
    struct Change {
        std::string name;
        SignalValue value;
        double time;
    };

    void run_rounds(double time, bool robot_moved);
    // Throws when the calling thread is inside a device's act, which holds `mutex`.
    void refuse_from_device(const char* operation) const;
    bool act(Device& device, double time);
    // By value: the name may belong to the device that this removes.
    void fail(std::string name, std::exception_ptr error);
    [[nodiscard]] double earliest_due() const;
    void schedule();
    void count_devices();

    mutable std::mutex mutex;
    Io io;
    Timing timing;
    bool own_clock {false};
    std::vector<std::shared_ptr<Device>> devices;
    std::exception_ptr failure;
    // The thread that lets the devices act, while one does.
    std::atomic<std::thread::id> acting_thread;
    std::atomic<std::size_t> count {0};
    std::atomic<std::size_t> watchers {0};
    std::atomic<double> manual_now {0.0};
    std::atomic<double> manual_alarm;

    std::mutex inbox_mutex;
    std::vector<Change> inbox;
    bool inbox_overflowed {false};
};

}  // namespace velmor::drivers::devices
