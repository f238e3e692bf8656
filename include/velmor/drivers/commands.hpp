#pragma once

#include <optional>
#include <string>
#include <variant>

#include <velmor/motion/goal.hpp>
#include <velmor/motion/trajectory.hpp>

namespace velmor::drivers {

//! Target of a move: joint position, Waypoint, CartesianWaypoint or RobotMap.
using Goal = velmor::Goal;

//! Join `trajectory` `duration` seconds into it.
struct BlendIntoCommand {
    velmor::Trajectory trajectory;
    //! Time along `trajectory` at which the robot joins it [s].
    double duration {0.0};
};

//! Move along a motion the planner knows by name.
struct MotionCommand {
    std::string name;
    //! Overrides the motion's own goal when set.
    std::optional<Goal> goal;
    bool ignore_collisions {false};
};

//! Move to a point.
struct PointCommand {
    Goal goal;
    bool ignore_collisions {false};
};

//! Come to rest from the current state.
struct StopCommand {
    bool fast_stop {true};
};

//! Play a ready trajectory.
struct TrajectoryCommand {
    velmor::Trajectory trajectory;
};

//! A command handed to the control loop; the alternative's index selects how it is planned.
using Command = std::variant<BlendIntoCommand, MotionCommand, PointCommand, StopCommand, TrajectoryCommand>;

}  // namespace velmor::drivers
