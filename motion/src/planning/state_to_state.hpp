#pragma once

#include <vector>

#include <velmor/motion/robot.hpp>

#include "planning/joint_motion.hpp"

namespace velmor::planning {

//! A synchronised motion of all joints from `from` to `to` within the limits:
//! time-optimal double S profiles between states at rest; otherwise the faster of
//! the shortest common quintics and a detour of stop, move at rest and a
//! jerk-limited start into the goal (which always fits, unlike the quintics).
JointMotion state_to_state(const std::vector<JointState>& from, const std::vector<JointState>& to,
                                          const std::vector<JointLimits>& limits);

}  // namespace velmor::planning
