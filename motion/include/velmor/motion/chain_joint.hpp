#pragma once

#include <cmath>
#include <string>

#include <Eigen/Geometry>

#include <velmor/motion/frame.hpp>

namespace velmor {

//! How a joint moves the link it carries.
enum class JointType {
    //! Turns about its axis [rad].
    Revolute,
    //! Slides along its axis [m].
    Prismatic,
};

//! One joint of a serial arm: a fixed placement, the joint's motion about or along its
//! axis, then a fixed placement into the frame of the link it carries. Arms given by
//! Denavit-Hartenberg parameters and arms read from robot description files both become
//! chains of these, so kinematics, collision checks and inverse kinematics serve both.
class ChainJoint {
public:
    //! `origin` leads from the previous link's frame to the joint's frame, `axis` (in the
    //! joint's frame, any non-zero length) is what the joint turns about or slides along,
    //! and `offset` leads from the moved joint frame to the carried link's frame.
    //! Throws VelmorError (module "robot") for a zero or non-finite axis.
    ChainJoint(std::string name, JointType type, Frame origin, Eigen::Vector3d axis, Frame offset = Frame());

    //! A revolute joint about z followed by the Denavit-Hartenberg placement of its link.
    static ChainJoint from_denavit_hartenberg(std::string name, double d, double theta, double a, double alpha);

    [[nodiscard]] const std::string& get_name() const { return name; }
    [[nodiscard]] JointType get_type() const { return type; }
    [[nodiscard]] const Frame& get_origin() const { return origin; }
    //! Unit axis in the joint's frame.
    [[nodiscard]] const Eigen::Vector3d& get_axis() const { return axis; }
    [[nodiscard]] const Frame& get_offset() const { return offset; }

    //! From the previous link's frame to the carried link's frame with the joint at `position`.
    [[nodiscard]] Eigen::Isometry3d transform(double position) const {
        if (!fast) {
            return general_transform(position);
        }
        // A turn about z mixes only the first two rows: far cheaper than a general rotation,
        // and every joint of an arm given by Denavit-Hartenberg parameters is of this kind.
        const double c = std::cos(position);
        const double s = std::sin(position);
        const Eigen::Matrix4d& o = offset.transform.matrix();
        Eigen::Isometry3d moved;
        Eigen::Matrix4d& m = moved.matrix();
        for (Eigen::Index j = 0; j < 4; ++j) {
            m(0, j) = c * o(0, j) - s * o(1, j);
            m(1, j) = s * o(0, j) + c * o(1, j);
            m(2, j) = o(2, j);
            m(3, j) = o(3, j);
        }
        return moved;
    }

private:
    std::string name;
    JointType type;
    Frame origin;
    Eigen::Vector3d axis;
    Frame offset;
    //! Worked out once: a revolute joint about z with no origin, which `transform` places inline.
    bool fast;

    //! `transform` for every other joint.
    [[nodiscard]] Eigen::Isometry3d general_transform(double position) const;
};

}  // namespace velmor
