#include <velmor/motion/shapes.hpp>

#include <cmath>
#include <string>

#include <velmor/common/velmor_error.hpp>

namespace velmor {

namespace {

void check_length(double value, const char* what) {
    if (!(value > 0.0) || !std::isfinite(value)) {
        throw VelmorError("shapes", std::string("The ") + what + " must be a positive number of metres, not " +
                                        std::to_string(value) + ".");
    }
}

void check_frame(const Frame& frame) {
    if (!frame.transform.matrix().allFinite()) {
        throw VelmorError("shapes", "The frame of a shape holds a value that is not a finite number.");
    }
}

//! `point` in the shape's own frame.
Eigen::Vector3d local(const Frame& frame, const Eigen::Vector3d& point) {
    return frame.transform.inverse() * point;
}

}  // namespace

Box::Box(std::array<double, 3> size, Frame frame) : size(size), frame(frame) {
    check_shape(*this);
}

bool Box::contains(const Eigen::Vector3d& point) const {
    const Eigen::Vector3d p = local(frame, point);
    for (int i = 0; i < 3; ++i) {
        if (std::abs(p[i]) > size[static_cast<std::size_t>(i)] / 2) {
            return false;
        }
    }
    return true;
}

Sphere::Sphere(double radius, Frame frame) : radius(radius), frame(frame) {
    check_shape(*this);
}

bool Sphere::contains(const Eigen::Vector3d& point) const {
    return (point - frame.translation()).norm() <= radius;
}

Cylinder::Cylinder(double radius, double length, Frame frame) : radius(radius), length(length), frame(frame) {
    check_shape(*this);
}

bool Cylinder::contains(const Eigen::Vector3d& point) const {
    const Eigen::Vector3d p = local(frame, point);
    return std::abs(p.z()) <= length / 2 && std::hypot(p.x(), p.y()) <= radius;
}

void check_shape(const Shape& shape) {
    if (const auto* box = std::get_if<Box>(&shape)) {
        for (const double edge : box->size) {
            check_length(edge, "edge length of a box");
        }
        check_frame(box->frame);
    } else if (const auto* sphere = std::get_if<Sphere>(&shape)) {
        check_length(sphere->radius, "radius of a sphere");
        check_frame(sphere->frame);
    } else {
        const auto& cylinder = std::get<Cylinder>(shape);
        check_length(cylinder.radius, "radius of a cylinder");
        check_length(cylinder.length, "length of a cylinder");
        check_frame(cylinder.frame);
    }
}

}  // namespace velmor
