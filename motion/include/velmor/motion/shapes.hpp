#pragma once

#include <array>
#include <variant>

#include <Eigen/Core>

#include <velmor/motion/frame.hpp>

namespace velmor {

//! A solid box centred on the origin of its frame, its edges along the frame's axes.
struct Box {
    //! Edge lengths along the frame's x, y and z axes [m].
    std::array<double, 3> size;
    //! Pose of the box's centre in the world.
    Frame frame;

    //! Throws VelmorError (module "shapes") unless every edge length is positive and finite.
    explicit Box(std::array<double, 3> size, Frame frame = Frame::Identity());
    //! Whether `point` [m], given in the world, lies inside the box or on its surface.
    [[nodiscard]] bool contains(const Eigen::Vector3d& point) const;
};

//! A solid ball around the origin of its frame.
struct Sphere {
    //! Radius [m].
    double radius;
    //! Pose of the centre in the world; only its position matters.
    Frame frame;

    //! Throws VelmorError (module "shapes") unless the radius is positive and finite.
    explicit Sphere(double radius, Frame frame = Frame::Identity());
    //! Whether `point` [m], given in the world, lies inside the ball or on its surface.
    [[nodiscard]] bool contains(const Eigen::Vector3d& point) const;
};

//! A solid upright cylinder centred on the origin of its frame, its axis along the frame's z axis.
struct Cylinder {
    //! Radius [m].
    double radius;
    //! Length along the axis [m].
    double length;
    //! Pose of the centre in the world.
    Frame frame;

    //! Throws VelmorError (module "shapes") unless radius and length are positive and finite.
    Cylinder(double radius, double length, Frame frame = Frame::Identity());
    //! Whether `point` [m], given in the world, lies inside the cylinder or on its surface.
    [[nodiscard]] bool contains(const Eigen::Vector3d& point) const;
};

//! Any solid an obstacle can be.
using Shape = std::variant<Box, Sphere, Cylinder>;

//! Throws VelmorError (module "shapes") for a shape whose dimensions or frame are not
//! positive and finite: public members can be changed after construction.
void check_shape(const Shape& shape);

}  // namespace velmor
