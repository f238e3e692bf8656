#pragma once

#include <cstddef>
#include <vector>

#include <Eigen/Dense>

#include <velmor/motion/frame.hpp>

namespace velmor {

//! The geometric Jacobian of the first `joints` revolute joints, each turning about the z
//! axis of its frame in `joint_frames`, whose last entry is the tool: rows are the tool's
//! linear [m/rad] then angular [rad/rad] velocity in the world per unit joint rate.
Eigen::Matrix<double, 6, Eigen::Dynamic> geometric_jacobian(const std::vector<Frame>& joint_frames,
                                                            std::size_t joints);

}  // namespace velmor
