#include "urdf/collision_shapes.hpp"

#include <algorithm>
#include <cmath>

namespace velmor::urdf_reading {

namespace {

std::array<double, 3> point(const Eigen::Vector3d& p) {
    return {p.x(), p.y(), p.z()};
}

Eigen::Isometry3d transform_of(const urdf::Pose& pose) {
    double x = 0.0, y = 0.0, z = 0.0, w = 1.0;
    pose.rotation.getQuaternion(x, y, z, w);
    Eigen::Isometry3d transform = Eigen::Isometry3d::Identity();
    transform.linear() = Eigen::Quaterniond(w, x, y, z).normalized().toRotationMatrix();
    transform.translation() = Eigen::Vector3d(pose.position.x, pose.position.y, pose.position.z);
    return transform;
}

}  // namespace

std::optional<std::vector<Capsule>> collision_capsules(const urdf::Link& link, const Frame& placement) {
    std::vector<Capsule> capsules;
    for (const auto& collision : link.collision_array) {
        if (!collision->geometry) {
            continue;
        }
        const Eigen::Isometry3d frame = placement.transform * transform_of(collision->origin);
        Eigen::Vector3d half_axis = Eigen::Vector3d::Zero();
        double radius = 0.0;
        switch (collision->geometry->type) {
            case urdf::Geometry::SPHERE:
                radius = static_cast<const urdf::Sphere&>(*collision->geometry).radius;
                break;
            case urdf::Geometry::CYLINDER: {
                const auto& cylinder = static_cast<const urdf::Cylinder&>(*collision->geometry);
                half_axis.z() = std::max(0.0, cylinder.length / 2 - cylinder.radius);
                radius = cylinder.radius;
                break;
            }
            case urdf::Geometry::BOX: {
                const auto& size = static_cast<const urdf::Box&>(*collision->geometry).dim;
                const Eigen::Vector3d half(size.x / 2, size.y / 2, size.z / 2);
                Eigen::Index longest = 0;
                half.maxCoeff(&longest);
                radius = std::sqrt(half.squaredNorm() - half[longest] * half[longest]);
                half_axis[longest] = std::max(0.0, half[longest] - radius);
                break;
            }
            default:
                return std::nullopt;
        }
        capsules.push_back(Capsule {point(frame * Eigen::Vector3d(-half_axis)), point(frame * half_axis), radius});
    }
    return capsules;
}

}  // namespace velmor::urdf_reading
