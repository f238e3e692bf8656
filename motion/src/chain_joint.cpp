#include <velmor/motion/chain_joint.hpp>

#include <cmath>

#include <velmor/common/velmor_error.hpp>

#include "dh_transform.hpp"

namespace velmor {

ChainJoint::ChainJoint(std::string name, JointType type, Frame origin, Eigen::Vector3d axis, Frame offset)
    : name(std::move(name)), type(type), origin(origin), axis(axis), offset(offset) {
    const double length = this->axis.norm();
    if (!std::isfinite(length) || length == 0.0) {
        throw VelmorError("robot", "Joint \"" + this->name + "\" has an axis of zero or not finite length.");
    }
    this->axis /= length;
    fast = type == JointType::Revolute && this->axis == Eigen::Vector3d::UnitZ() &&
           origin.transform.matrix().isIdentity(0.0);
}

Eigen::Isometry3d ChainJoint::general_transform(double position) const {
    if (type == JointType::Prismatic) {
        Eigen::Isometry3d moved = offset.transform;
        moved.translation() += axis * position;
        return origin.transform * moved;
    }
    return origin.transform * Eigen::AngleAxisd(position, axis) * offset.transform;
}

ChainJoint ChainJoint::from_denavit_hartenberg(std::string name, double d, double theta, double a, double alpha) {
    return ChainJoint(std::move(name), JointType::Revolute, Frame(), Eigen::Vector3d::UnitZ(),
                      Frame(dh_transform(DhJoint(DenavitHartenberg {d, theta, a, alpha}), 0.0)));
}

}  // namespace velmor
