#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <velmor/motion/robot.hpp>
#include <velmor/motion/trajectory.hpp>

namespace velmor::drivers {

//! A condition on the robot's state along the current trajectory.
class Trigger {
public:
    //! The predicate: (robot, time along the trajectory [s], joint position, trajectory).
    using Predicate = std::function<bool(const std::shared_ptr<velmor::Robot>&, double, const std::vector<double>&,
                                         const velmor::Trajectory&)>;

    //! A measurable quantity of the same context, to compare with a threshold.
    class Value {
    public:
        using Function = std::function<double(const std::shared_ptr<velmor::Robot>&, double,
                                              const std::vector<double>&, const velmor::Trajectory&)>;

        //! `text` names the quantity in the trigger's textual form.
        explicit Value(Function function, std::string text = "value")
            : function(std::move(function)), text(std::move(text)) {}

        //! The quantity in this context.
        double operator()(const std::shared_ptr<velmor::Robot>& robot, double time, const std::vector<double>& position,
                          const velmor::Trajectory& trajectory) const {
            return function(robot, time, position, trajectory);
        }

        //! The quantity's name, e.g. "joint_position(2)".
        [[nodiscard]] const std::string& to_string() const { return text; }

        //! Holds when the quantity exceeds `threshold`.
        Trigger operator>(double threshold) const;
        Trigger operator>=(double threshold) const;
        Trigger operator<(double threshold) const;
        Trigger operator<=(double threshold) const;
        //! Holds when the quantity equals `threshold`.
        Trigger operator==(double threshold) const;
        //! Holds when the quantity is below or above `threshold` (never when it is not a number).
        Trigger operator!=(double threshold) const;

    private:
        Function function;
        std::string text;
    };

    //! `text` is the condition as people read it, for reports and messages.
    explicit Trigger(Predicate predicate, std::string text = "condition")
        : predicate(std::move(predicate)), text(std::move(text)) {}

    //! Whether the condition holds in this context.
    bool operator()(const std::shared_ptr<velmor::Robot>& robot, double time, const std::vector<double>& position,
                    const velmor::Trajectory& trajectory) const {
        return predicate(robot, time, position, trajectory);
    }

    //! The condition as text, e.g. "io('part_present') == 1 & time > 0.5".
    [[nodiscard]] const std::string& to_string() const { return text; }

    //! Holds when both hold; `other` is evaluated only when this one holds.
    Trigger operator&&(const Trigger& other) const;
    //! Holds when either holds; `other` is evaluated only when this one does not hold.
    Trigger operator||(const Trigger& other) const;

    //! Time along the current trajectory [s].
    static Value Time();
    //! Time left until the end of the current trajectory [s].
    static Value TimeToGoal();
    //! Position of joint `dof`; std::out_of_range for a joint beyond the robot's.
    static Value JointPosition(std::size_t dof);
    //! Element `axis` (x, y, z [m], a, b, c [rad]) of the tool pose of an arm; 0 for other robots.
    static Value TCPPosition(std::size_t axis);
    //! Value of the I/O signal `name`, read through the evaluating thread's SignalReader;
    //! not a number for an unknown signal, so that no comparison with it holds.
    static Value IO(const std::string& name);

private:
    Predicate predicate;
    std::string text;
};

//! What to do when a trigger holds: called with the time along the trajectory [s].
class Action {
public:
    using Function = std::function<void(double)>;

    explicit Action(Function function) : function(std::move(function)) {}

    void operator()(double time) const { function(time); }

private:
    Function function;
};

//! A pending (trigger, action) pair.
struct Event {
    Trigger trigger;
    Action action;
    //! Position in the order of add_event calls since the driver was made, from 0.
    std::uint64_t index {0};
};

}  // namespace velmor::drivers
