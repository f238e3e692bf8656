#pragma once

#include <vector>

#include <velmor/motion/robot.hpp>

#include "planning/joint_motion.hpp"
#include "planning/profile.hpp"

namespace velmor::planning {

//! The time-optimal jerk-limited ("double S", seven-phase) motion of one joint
//! from rest at `from` to rest at `to`.
Profile double_s(double from, double to, const JointLimits& limits);

//! Rest-to-rest motion of every joint, each time-optimal and stretched to the
//! slowest joint's duration so that all start and finish together.
JointMotion synchronised_double_s(const std::vector<double>& from, const std::vector<double>& to,
                                  const std::vector<JointLimits>& limits);

}  // namespace velmor::planning
