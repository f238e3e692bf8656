#pragma once

#include <Eigen/Core>

namespace velmor::collision {

//! Distance [m] between the segments p0–p1 and q0–q1.
double segment_segment_distance(const Eigen::Vector3d& p0, const Eigen::Vector3d& p1, const Eigen::Vector3d& q0,
                                const Eigen::Vector3d& q1);

//! Distance [m] from the segment p0–p1 to the point c.
double segment_point_distance(const Eigen::Vector3d& p0, const Eigen::Vector3d& p1, const Eigen::Vector3d& c);

//! Distance [m] from the segment p0–p1 to the solid box |x| ≤ half.x, |y| ≤ half.y, |z| ≤ half.z
//! (0 when they meet); the segment is given in the box's frame.
double segment_box_distance(const Eigen::Vector3d& p0, const Eigen::Vector3d& p1, const Eigen::Vector3d& half);

//! A lower bound [m], tight to about 1e-12 of the segment's length, of the distance from the
//! segment p0–p1 to the solid cylinder of `radius` around the z axis with |z| ≤ `half_length`;
//! the segment is given in the cylinder's frame.
double segment_cylinder_distance(const Eigen::Vector3d& p0, const Eigen::Vector3d& p1, double radius,
                                 double half_length);

}  // namespace velmor::collision
