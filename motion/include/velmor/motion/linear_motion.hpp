#pragma once

#include <memory>
#include <optional>
#include <string>

#include <velmor/motion/cartesian_waypoint.hpp>
#include <velmor/motion/goal.hpp>
#include <velmor/motion/robot.hpp>

namespace velmor {

//! A straight-line motion of the tool: its centre point moves along the line from the
//! start pose to the goal pose while its orientation turns about one fixed axis by the
//! shortest rotation; every joint keeps within its limits. For a robot of one arm.
struct LinearMotion {
    //! The robot to move (one arm).
    std::shared_ptr<Robot> robot;
    //! Name under which the planner knows the motion (may be empty).
    std::string name;
    //! Where the motion starts, at rest; empty: it must be given when planning.
    std::optional<Goal> start;
    //! The tool pose to move to. Its reference configuration is not used: the joint
    //! position at the end is the one reached by following the line from the start.
    CartesianWaypoint goal;
    //! Highest speed of the tool centre point [m/s]; empty: only the joints' limits count.
    std::optional<double> max_tool_speed;

    LinearMotion(std::shared_ptr<Robot> robot, std::string name, std::optional<Goal> start, CartesianWaypoint goal,
                 std::optional<double> max_tool_speed = std::nullopt)
        : robot(std::move(robot)),
          name(std::move(name)),
          start(std::move(start)),
          goal(std::move(goal)),
          max_tool_speed(max_tool_speed) {}
};

}  // namespace velmor
