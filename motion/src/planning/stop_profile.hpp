#pragma once

#include <vector>

#include <velmor/motion/robot.hpp>

#include "planning/joint_motion.hpp"
#include "planning/profile.hpp"

namespace velmor::planning {

//! The fastest jerk-limited motion of one joint from `start` to `target_velocity`
//! [rad/s] with zero acceleration, as its acceleration and jerk limits allow.
Profile reach_velocity(const JointState& start, double target_velocity, const JointLimits& limits);

//! Every joint reaches its target velocity as fast as it can, independently of the
//! others; joints that arrive early go on at their target velocity.
JointMotion reach_velocities(const std::vector<JointState>& start, const std::vector<double>& target_velocity,
                             const std::vector<JointLimits>& limits);

}  // namespace velmor::planning
