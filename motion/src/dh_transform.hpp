#pragma once

#include <cmath>

#include <Eigen/Geometry>

#include <velmor/motion/robot_arm.hpp>

namespace velmor {

//! One joint's Denavit-Hartenberg parameters with the cosine and sine of its twist,
//! worked out once so that callers placing an arm many times only turn the joint.
struct DhJoint {
    DenavitHartenberg dh;
    double cos_alpha;
    double sin_alpha;

    explicit DhJoint(const DenavitHartenberg& dh)
        : dh(dh), cos_alpha(std::cos(dh.alpha)), sin_alpha(std::sin(dh.alpha)) {}
};

//! The transformation from the frame before `joint` to the frame after it, with the
//! joint at `joint_position` [rad]: a turn by θ about z, d along z, a along x, a twist by α about x.
//! Kinematics and collision checks both place links with it, so they agree on every frame.
inline Eigen::Isometry3d dh_transform(const DhJoint& joint, double joint_position) {
    const DenavitHartenberg& dh = joint.dh;
    const double theta = joint_position + dh.theta;
    const double ct = std::cos(theta);
    const double st = std::sin(theta);
    const double ca = joint.cos_alpha;
    const double sa = joint.sin_alpha;
    Eigen::Isometry3d transform = Eigen::Isometry3d::Identity();
    transform.linear() << ct, -st * ca, st * sa, st, ct * ca, -ct * sa, 0.0, sa, ca;
    transform.translation() = Eigen::Vector3d(dh.a * ct, dh.a * st, dh.d);
    return transform;
}

}  // namespace velmor
