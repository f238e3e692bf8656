#pragma once

#include <atomic>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include <Eigen/Geometry>

#include <velmor/motion/collision.hpp>
#include <velmor/motion/robot_arm.hpp>

namespace velmor {

//! What a collision model is made of, prepared once so that queries only compute.
struct CollisionModel::Impl {
    //! One arm: its kinematics and where its joints and links sit in the robot's lists.
    struct Arm {
        std::vector<ChainJoint> joints;
        Eigen::Isometry3d base;
        std::size_t first_joint;
        std::size_t first_link;
        //! Per joint: whether it turns about z with no placement before the turn, so that
        //! the frames are placed by turning two columns.
        std::vector<char> about_z {};
    };
    //! One link: its capsules and a ball around them for quick rejection.
    struct Link {
        std::size_t arm;
        std::size_t index;
        std::string name;
        std::vector<std::size_t> capsules;
        //! Centre of the bounding ball, in the link's frame [m].
        Eigen::Vector3d centre;
        //! Radius of the bounding ball, capsule radii included [m].
        double reach;
        //! Per joint of the robot: how far [m] from that joint's axis any point of the
        //! link's segments can be, whatever the other joints do; 0 for joints that do not move it.
        std::vector<double> lever;
        //! Indices (within its arm) of the links never checked against it.
        std::vector<std::size_t> ignored {};
    };
    struct Body {
        std::size_t link;
        Eigen::Vector3d start;
        Eigen::Vector3d end;
        double radius;
    };
    enum class Kind { Box, Sphere, Cylinder };
    struct Obstacle {
        std::string name;
        Kind kind;
        //! From the world into the obstacle's frame.
        Eigen::Isometry3d to_local;
        Eigen::Vector3d centre;
        //! Radius of a ball around the obstacle [m].
        double reach;
        //! Half edge lengths of a box [m].
        Eigen::Vector3d half;
        //! Radius of a sphere or a cylinder [m].
        double radius;
        //! Half the length of a cylinder [m].
        double half_length;
    };
    //! Two things that must not touch: a link and an obstacle, or two links.
    struct Pair {
        std::size_t link;
        std::size_t other;
        bool with_obstacle;
        //! Per joint: bound on how far [m] the two can move towards each other per radian of that joint.
        std::vector<double> lever;
        //! The joints whose lever is not zero, in order.
        std::vector<std::size_t> moving {};
        //! Of a link and a box turned about one of its axes by the arm's first joint: that
        //! axis (0 to 2), along which the link's gap to the box's slab bounds its clearance
        //! from below whatever that joint does; 3 for other pairs.
        std::size_t slab {3};
        //! The levers of that bound: those of the pair but for the first joint's, which is 0.
        std::vector<double> slab_lever {};
        std::vector<std::size_t> slab_moving {};
    };
    //! Where every link and every capsule is, at one joint position.
    struct Pose {
        std::vector<Eigen::Isometry3d> frames;
        std::vector<Eigen::Vector3d> starts;
        std::vector<Eigen::Vector3d> ends;
        //! Scratch: which links a partial placement needs.
        std::vector<char> needed;
    };

    std::size_t degrees_of_freedom {0};
    std::vector<Arm> arms;
    std::vector<Link> links;
    std::vector<Body> bodies;
    std::vector<Obstacle> obstacles;
    std::vector<Pair> pairs;
    mutable std::atomic<std::size_t> evaluated {0};

    Impl(const std::shared_ptr<Robot>& robot, const std::map<std::string, Shape>& shapes);

    //! Throws VelmorError (module "collision") unless `q` has one finite value per joint.
    void check_position(const std::vector<double>& q, const char* what) const;
    //! Throws VelmorError (module "collision") unless the joint values from `q` are finite.
    void check_finite(const double* q, const char* what) const;
    //! The frames of the first `count` links after the base of `arm` at the joint position `q`.
    static void place_frames(const Arm& arm, const double* q, std::size_t count, std::vector<Eigen::Isometry3d>& frames);
    //! Places every link for the joint position `q`.
    void place(const double* q, Pose& pose) const;
    //! Places, for the joint position `q`, the links of the pairs `which` (and the frames
    //! of the links before them); the other links keep what they had.
    void place(const double* q, Pose& pose, const std::vector<std::size_t>& which) const;
    //! Clearance [m] of one pair; a lower bound from the bounding balls when `exact` is
    //! false and that bound is already large.
    [[nodiscard]] double clearance(const Pose& pose, const Pair& pair, bool exact) const;
    //! The gap [m] between the link of an obstacle pair with a slab and the box's slab
    //! along that axis (the space between the planes of two opposite faces), capsule radii
    //! subtracted; a lower bound of the pair's clearance.
    [[nodiscard]] double slab_clearance(const Pose& pose, const Pair& pair) const;
    //! Clearances of `which` pairs into `out` (indexed by pair).
    void clearances(const Pose& pose, const std::vector<std::size_t>& which, std::vector<double>& out) const;
    //! How far the pair's bodies may approach each other over joint displacements `dq` [m].
    [[nodiscard]] static double approach(const Pair& pair, const double* dq);
    //! The collision report of a pair at `time` [s].
    [[nodiscard]] Collision report(const Pair& pair, double time) const;

    //! The first contact along `count` joint positions stored one after the other from `q`,
    //! played linearly between them at `times`.
    [[nodiscard]] std::optional<Collision> check_path(const double* q, std::size_t count, const double* times) const;
};

}  // namespace velmor
