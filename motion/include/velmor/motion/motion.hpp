#pragma once

#include <memory>
#include <optional>
#include <string>

#include <velmor/motion/goal.hpp>
#include <velmor/motion/robot.hpp>
#include <velmor/motion/waypoint.hpp>

namespace velmor {

//! A planning request: move `robot` from `start` to `goal`.
struct Motion {
    //! The robot to move (all its joints).
    std::shared_ptr<Robot> robot;
    //! Name under which the planner knows the motion (may be empty).
    std::string name;
    //! Where the motion starts; empty: it must be given when planning.
    std::optional<Goal> start;
    //! Where the motion ends.
    MotionGoal goal;

    Motion(std::shared_ptr<Robot> robot, std::string name, std::optional<Goal> start, MotionGoal goal)
        : robot(std::move(robot)), name(std::move(name)), start(std::move(start)), goal(std::move(goal)) {}
};

//! A request to move between two joint-space states directly.
struct LowLevelMotion {
    //! How the goal is reached.
    enum class ControlInterface {
        //! Reach the goal's position, velocity and acceleration.
        Position = 0,
        //! Reach the goal's velocity; an empty goal (Waypoint(0)) brings every joint to rest.
        Velocity = 1,
    };

    //! The robot to move (all its joints).
    std::shared_ptr<Robot> robot;
    //! Name, copied into the trajectory.
    std::string name;
    //! Start state.
    Waypoint start;
    //! Goal state.
    Waypoint goal;
    //! How the goal is reached.
    ControlInterface control_interface {ControlInterface::Position};

    explicit LowLevelMotion(std::shared_ptr<Robot> robot, std::string name = "", Waypoint start = {},
                            Waypoint goal = {})
        : robot(std::move(robot)), name(std::move(name)), start(std::move(start)), goal(std::move(goal)) {}
};

}  // namespace velmor
