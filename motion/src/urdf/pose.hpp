// A robot description's poses (origins of joints, links' shapes) as transforms.
#pragma once

#include <Eigen/Geometry>
#include <urdf_model/pose.h>

namespace velmor::urdf_reading {

//! The transform of `pose`, its quaternion normalised.
Eigen::Isometry3d transform_of(const urdf::Pose& pose);

}  // namespace velmor::urdf_reading
