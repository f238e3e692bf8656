#pragma once

#include <optional>
#include <vector>

#include <velmor/motion/robot.hpp>

#include "planning/joint_motion.hpp"

namespace velmor::planning {

//! A synchronised motion of all joints from `from` to `to` within the limits:
//! time-optimal double S profiles between states at rest, the shortest common
//! quintics otherwise, and when no quintic fits (a start too fast to turn around
//! smoothly), a stop followed by a move from rest. Empty when nothing fits.
std::optional<JointMotion> state_to_state(const std::vector<JointState>& from, const std::vector<JointState>& to,
                                          const std::vector<JointLimits>& limits);

}  // namespace velmor::planning
