#pragma once

#include <vector>

#include <velmor/motion/trajectory.hpp>

#include "planning/joint_motion.hpp"

namespace velmor::planning {

//! The sample times of a motion of `duration` [s]: k·`delta_time` [s] from 0 while more
//! than a rounding error before the end, then the end itself; only 0 when the motion is
//! shorter than that rounding error.
std::vector<double> sample_times(double duration, double delta_time);

//! Samples `motion` every `delta_time` [s], with one more sample exactly at its end.
//! The first sample is `start` and the last `end`, exactly, so that no rounding of
//! the profiles shows at the boundaries.
Trajectory sample(const JointMotion& motion, double delta_time, const std::vector<JointState>& start,
                  const std::vector<JointState>& end);

}  // namespace velmor::planning
