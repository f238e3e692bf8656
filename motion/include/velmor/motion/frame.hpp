#pragma once

#include <array>

#include <Eigen/Geometry>

namespace velmor {

//! A rigid transformation: a position [m] and an orientation.
//!
//! Angles follow the intrinsic Z-Y'-X'' convention: the orientation is
//! R = Rz(a) · Ry(b) · Rx(c), with a (yaw) and c (roll) in [-π, π] and
//! b (pitch) in [-π/2, π/2].
class Frame {
public:
    //! The identity: no translation, no rotation.
    Frame() = default;
    explicit Frame(const Eigen::Isometry3d& transform) : transform(transform) {}

    //! The identity frame.
    static Frame Identity() { return Frame(); }
    //! From a position [m] and the angles a, b, c [rad] of the convention above.
    static Frame from_euler(double x, double y, double z, double a, double b, double c);
    //! A pure translation [m].
    static Frame from_translation(double x, double y, double z);

    //! {x, y, z, a, b, c}: position [m], then the angles [rad] of the convention above.
    [[nodiscard]] std::array<double, 6> to_euler() const;
    //! Position [m].
    [[nodiscard]] Eigen::Vector3d translation() const { return transform.translation(); }
    //! Orientation as a rotation matrix.
    [[nodiscard]] Eigen::Matrix3d rotation() const { return transform.linear(); }
    //! The inverse transformation.
    [[nodiscard]] Frame inverse() const { return Frame(transform.inverse()); }
    //! Composition: this frame followed by `other` expressed in this frame.
    Frame operator*(const Frame& other) const { return Frame(transform * other.transform); }

    //! The underlying homogeneous transformation.
    Eigen::Isometry3d transform {Eigen::Isometry3d::Identity()};
};

}  // namespace velmor
