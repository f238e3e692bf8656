#pragma once

#include <vector>

#include <velmor/motion/robot.hpp>

#include "planning/joint_motion.hpp"

namespace velmor::planning {

//! A synchronised motion of all joints from `from` to `to` in the shortest duration that
//! every joint can take: time-optimal jerk-limited profiles, with each joint's profile
//! lasting exactly that duration. A start beyond the limits is first brought back inside
//! them as fast as they allow; `to` must be within the limits and reachable from within
//! them (see beyond_limits). States so far apart (or so far beyond the limits) that
//! the arithmetic overflows give a duration that is not finite, and profiles that stay at
//! the start.
JointMotion state_to_state(const std::vector<JointState>& from, const std::vector<JointState>& to,
                           const std::vector<JointLimits>& limits);

}  // namespace velmor::planning
