#include "reach.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include <Eigen/Geometry>

namespace velmor {

namespace {

std::string metres(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f m", value);
    return text;
}

std::string position_of(const Frame& tcp) {
    const Eigen::Vector3d p = tcp.translation();
    char text[96];
    std::snprintf(text, sizeof text, "(%.3f, %.3f, %.3f) m", p.x(), p.y(), p.z());
    return text;
}

//! For an arm of any chain: the tool centre point against the sum of every fixed length
//! between the base and the tool, sliding joints at their longest travel.
WristReach chain_reach(const RobotArm& arm, const Frame& tcp) {
    double reach = arm.get_tool_offset().translation().norm();
    const auto limits = arm.get_joint_limits();
    for (std::size_t i = 0; i < arm.get_chain().size(); ++i) {
        const ChainJoint& joint = arm.get_chain()[i];
        reach += joint.get_origin().translation().norm() + joint.get_offset().translation().norm();
        if (joint.get_type() == JointType::Prismatic) {
            reach += std::max(std::abs(limits[i].min_position), std::abs(limits[i].max_position));
        }
    }
    const double distance = (arm.get_base().transform.inverse() * tcp.transform).translation().norm();
    return WristReach {distance, reach, "tool centre point"};
}

}  // namespace

WristReach wrist_reach(const RobotArm& arm, const Frame& tcp) {
    const auto& joints = arm.get_dh_parameters();
    if (joints.empty() && !arm.get_chain().empty()) {
        return chain_reach(arm, tcp);
    }
    const Eigen::Isometry3d flange = arm.get_base().transform.inverse() * tcp.transform *
                                     arm.get_tool_offset().transform.inverse();
    Eigen::Vector3d wrist = flange.translation();
    double reach = 0.0;
    if (!joints.empty()) {
        // The last joint's transform ends with a along the flange's x axis and a twist α
        // about it; before them, d runs along the previous z axis, which the twist leaves
        // at (0, sin α, cos α) in the flange's frame.
        const DenavitHartenberg& last = joints.back();
        const Eigen::Vector3d previous_z(0.0, std::sin(last.alpha), std::cos(last.alpha));
        wrist -= flange.linear() * (Eigen::Vector3d::UnitX() * last.a + previous_z * last.d);
        // Each earlier joint moves its successor's origin by a along x and d along z,
        // whatever its angle: at most the length of that offset.
        for (std::size_t i = 0; i + 1 < joints.size(); ++i) {
            reach += std::hypot(joints[i].a, joints[i].d);
        }
    }
    return WristReach {wrist.norm(), reach, "wrist centre"};
}

std::string unreachable_pose(const RobotArm& arm, const Frame& tcp) {
    const WristReach wrist = wrist_reach(arm, tcp);
    const std::string pose = "The tool pose at " + position_of(tcp);
    if (wrist.distance > wrist.reach) {
        return pose + " is out of reach: its " + wrist.point + " lies " + metres(wrist.distance) + " from the base, " +
               metres(wrist.distance - wrist.reach) + " beyond the arm's reach of " + metres(wrist.reach) + ".";
    }
    return pose + " has no joint position within the joint limits: its " + wrist.point + " lies " +
           metres(wrist.distance) + " from the base, " + metres(wrist.reach - wrist.distance) +
           " within the arm's reach of " + metres(wrist.reach) + ", but no solution keeps to the joint limits " +
           "with the pose's orientation.";
}

}  // namespace velmor
