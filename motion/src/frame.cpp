#include <velmor/motion/frame.hpp>

#include <cmath>

namespace velmor {

Frame Frame::from_euler(double x, double y, double z, double a, double b, double c) {
    Eigen::Isometry3d transform = Eigen::Isometry3d::Identity();
    transform.translation() = Eigen::Vector3d(x, y, z);
    transform.linear() = (Eigen::AngleAxisd(a, Eigen::Vector3d::UnitZ()) * Eigen::AngleAxisd(b, Eigen::Vector3d::UnitY()) *
                          Eigen::AngleAxisd(c, Eigen::Vector3d::UnitX()))
                             .toRotationMatrix();
    return Frame(transform);
}

Frame Frame::from_translation(double x, double y, double z) {
    return from_euler(x, y, z, 0.0, 0.0, 0.0);
}

std::array<double, 6> Frame::to_euler() const {
    const Eigen::Matrix3d r = transform.linear();
    const Eigen::Vector3d p = transform.translation();
    // R = Rz(a) Ry(b) Rx(c): r20 = -sin(b), r21 = cos(b) sin(c), r22 = cos(b) cos(c),
    // r10 = sin(a) cos(b), r00 = cos(a) cos(b).
    const double b = std::atan2(-r(2, 0), std::hypot(r(0, 0), r(1, 0)));
    double a = 0.0;
    double c = 0.0;
    if (std::hypot(r(0, 0), r(1, 0)) > 1e-12) {
        a = std::atan2(r(1, 0), r(0, 0));
        c = std::atan2(r(2, 1), r(2, 2));
    } else {
        // Gimbal lock: only a - c (or a + c) is defined; take a = 0.
        c = b > 0 ? std::atan2(r(0, 1), r(1, 1)) : std::atan2(-r(0, 1), r(1, 1));
    }
    return {p.x(), p.y(), p.z(), a, b, c};
}

}  // namespace velmor
