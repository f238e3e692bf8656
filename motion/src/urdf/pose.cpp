#include "urdf/pose.hpp"

namespace velmor::urdf_reading {

Eigen::Isometry3d transform_of(const urdf::Pose& pose) {
    double x = 0.0, y = 0.0, z = 0.0, w = 1.0;
    pose.rotation.getQuaternion(x, y, z, w);
    Eigen::Isometry3d transform = Eigen::Isometry3d::Identity();
    transform.linear() = Eigen::Quaterniond(w, x, y, z).normalized().toRotationMatrix();
    transform.translation() = Eigen::Vector3d(pose.position.x, pose.position.y, pose.position.z);
    return transform;
}

}  // namespace velmor::urdf_reading
