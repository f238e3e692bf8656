#pragma once

#include <vector>

#include <Eigen/Dense>

#include <velmor/motion/chain_joint.hpp>
#include <velmor/motion/frame.hpp>

namespace velmor {

//! The geometric Jacobian of `chain` placed at `joint_frames` (the base, one frame per
//! joint, and the tool last, as RobotArm::calculate_joint_frames gives them): rows are the
//! tool's linear [m] then angular [rad] velocity in the world per unit joint rate.
Eigen::Matrix<double, 6, Eigen::Dynamic> geometric_jacobian(const std::vector<ChainJoint>& chain,
                                                            const std::vector<Frame>& joint_frames);

}  // namespace velmor
