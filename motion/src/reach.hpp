#pragma once

#include <string>

#include <velmor/motion/frame.hpp>
#include <velmor/motion/robot_arm.hpp>

namespace velmor {

//! Where a tool pose's wrist centre lies against the farthest any joint position takes it.
struct WristReach {
    //! Distance of the wrist centre (the origin of the last joint's frame) from the arm's base [m].
    double distance;
    //! Farthest the wrist centre can get from the base: the sum of the earlier joints'
    //! offsets, a bound that no joint position exceeds [m].
    double reach;
    //! The point measured: the wrist centre for arms given by Denavit-Hartenberg
    //! parameters, the tool centre point for any other chain.
    std::string point;
};

//! The wrist centre of `tcp` (a tool pose in the world) against the arm's reach. The
//! wrist centre follows from the pose alone: the tool offset and the last joint's
//! Denavit-Hartenberg lengths are fixed in the flange's frame.
[[nodiscard]] WristReach wrist_reach(const RobotArm& arm, const Frame& tcp);

//! Why inverse kinematics found no joint position for `tcp`, as a sentence: how far the
//! pose lies beyond the arm's reach, or, within reach, that no solution keeps to the
//! joint limits or the orientation cannot be met.
[[nodiscard]] std::string unreachable_pose(const RobotArm& arm, const Frame& tcp);

}  // namespace velmor
