// How far the bodies of a collision model lie from the joints' axes.
#include "collision/axes.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace velmor::collision {

double off_axis(const Eigen::Vector3d& axis, const Eigen::Vector3d& through, const Eigen::Vector3d& point) {
    const Eigen::Vector3d offset = point - through;
    return (offset - axis * axis.dot(offset)).norm();
}

double reach_about_next_joint(const CollisionModel::Impl& model, const CollisionModel::Impl::Link& link) {
    const auto& joints = model.arms[link.arm].joints;
    if (link.index >= joints.size() || joints[link.index].get_type() != JointType::Revolute) {
        return std::numeric_limits<double>::infinity();
    }
    const Eigen::Isometry3d& origin = joints[link.index].get_origin().transform;
    const Eigen::Vector3d axis = origin.linear() * joints[link.index].get_axis();
    double farthest = 0.0;
    for (const std::size_t b : link.capsules) {
        const CollisionModel::Impl::Body& body = model.bodies[b];
        farthest = std::max({farthest, off_axis(axis, origin.translation(), body.start),
                             off_axis(axis, origin.translation(), body.end)});
    }
    return farthest;
}

double reach_about_joint_after_next(const CollisionModel::Impl& model, const CollisionModel::Impl::Link& link) {
    const auto& joints = model.arms[link.arm].joints;
    if (link.index + 1 >= joints.size() || joints[link.index + 1].get_type() != JointType::Revolute) {
        return std::numeric_limits<double>::infinity();
    }
    // In the next link's frame with the first joint at 0, where every other turn of it looks the same.
    const Eigen::Isometry3d into_next = joints[link.index].transform(0.0).inverse();
    const Eigen::Isometry3d& origin = joints[link.index + 1].get_origin().transform;
    const Eigen::Vector3d axis = origin.linear() * joints[link.index + 1].get_axis();
    double farthest = 0.0;
    for (const std::size_t b : link.capsules) {
        const CollisionModel::Impl::Body& body = model.bodies[b];
        farthest = std::max({farthest, off_axis(axis, origin.translation(), into_next * body.start),
                             off_axis(axis, origin.translation(), into_next * body.end)});
    }
    return farthest;
}

double reach_about_first_joint(const CollisionModel::Impl::Arm& arm, const CollisionModel::Impl::Obstacle& obstacle) {
    using Kind = CollisionModel::Impl::Kind;
    if (arm.joints.empty() || arm.joints[0].get_type() != JointType::Revolute) {
        return std::numeric_limits<double>::infinity();
    }
    const Eigen::Isometry3d origin = arm.base * arm.joints[0].get_origin().transform;
    const Eigen::Vector3d axis = origin.linear() * arm.joints[0].get_axis();
    const Eigen::Isometry3d to_world = obstacle.to_local.inverse();
    const auto from_axis = [&](const Eigen::Vector3d& local) {
        return off_axis(axis, origin.translation(), to_world * local);
    };
    if (obstacle.kind == Kind::Sphere) {
        return from_axis(Eigen::Vector3d::Zero());
    }
    if (obstacle.kind == Kind::Cylinder) {
        return std::max(from_axis({0.0, 0.0, obstacle.half_length}), from_axis({0.0, 0.0, -obstacle.half_length})) +
               obstacle.radius;
    }
    double farthest = 0.0;
    for (const double x : {-1.0, 1.0}) {
        for (const double y : {-1.0, 1.0}) {
            for (const double z : {-1.0, 1.0}) {
                farthest = std::max(farthest, from_axis(obstacle.half.cwiseProduct(Eigen::Vector3d(x, y, z))));
            }
        }
    }
    return farthest;
}

std::size_t slab_about_first_joint(const CollisionModel::Impl::Arm& arm, const CollisionModel::Impl::Obstacle& obstacle) {
    if (obstacle.kind != CollisionModel::Impl::Kind::Box || arm.joints.empty() ||
        arm.joints[0].get_type() != JointType::Revolute) {
        return 3;
    }
    const Eigen::Matrix3d to_box = obstacle.to_local.linear() * arm.base.linear() *
                                   arm.joints[0].get_origin().transform.linear();
    const Eigen::Vector3d axis = to_box * arm.joints[0].get_axis();
    constexpr double parallel = 1e-12;
    for (std::size_t k = 0; k < 3; ++k) {
        if (std::abs(axis[static_cast<Eigen::Index>(k)]) >= 1.0 - parallel) {
            return k;
        }
    }
    return 3;
}

}  // namespace velmor::collision
