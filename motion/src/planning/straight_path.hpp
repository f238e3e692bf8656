#pragma once

#include <optional>
#include <vector>

#include <velmor/motion/robot.hpp>
#include <velmor/motion/trajectory.hpp>

namespace velmor::planning {

//! A trajectory along the joint-space path `points` (at least two): straight from point
//! to point, each leg a time-optimal jerk-limited motion from rest to rest, sampled every
//! `delta_time` [s]. Between samples, too, it never leaves the straight legs. Empty when
//! it would last longer than an hour or a million samples.
std::optional<Trajectory> along_straight_legs(const std::vector<std::vector<double>>& points,
                                              const std::vector<JointLimits>& limits, double delta_time);

}  // namespace velmor::planning
