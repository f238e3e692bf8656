#pragma once

#include <optional>
#include <vector>

#include <velmor/motion/frame.hpp>
#include <velmor/motion/robot_arm.hpp>
#include <velmor/motion/trajectory.hpp>

namespace velmor::planning {

//! The tool of `arm` along the straight line from where it stands at `start` [rad] (at
//! rest) to the pose `goal`, its orientation turning by the shortest rotation, as a
//! trajectory sampled every `delta_time` [s] that respects every joint's limits and
//! `max_tool_speed` [m/s] when given; empty when it would last longer than an hour or a
//! million samples. Throws VelmorError (module "planner") when the line leaves the arm's
//! reach or joint limits, or crosses a singularity that the joints cannot follow within
//! their limits.
std::optional<Trajectory> linear_path(const RobotArm& arm, const std::vector<double>& start, const Frame& goal,
                       std::optional<double> max_tool_speed, double delta_time);

}  // namespace velmor::planning
