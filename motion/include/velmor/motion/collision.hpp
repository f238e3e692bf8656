#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <velmor/motion/frame.hpp>
#include <velmor/motion/robot.hpp>
#include <velmor/motion/shapes.hpp>
#include <velmor/motion/trajectory.hpp>

namespace velmor {

//! A contact found by a collision check: a link of the robot touching an obstacle or another of its links.
struct Collision {
    //! Where along the checked motion [s]: trajectory time, 0 for a single joint position.
    double time {0.0};
    //! Index of the link's arm in the robot (0 for a robot of one arm).
    std::size_t arm {0};
    //! Index of the link in its arm: 0 the base, i the link that joint i moves.
    std::size_t link {0};
    //! Name of the link, preceded by "arm<i>/" in a robot of several arms.
    std::string link_name;
    //! Name of the obstacle the link touches; empty when it touches another link.
    std::string obstacle;
    //! Arm of the other link, when `obstacle` is empty.
    std::size_t other_arm {0};
    //! Index of the other link in its arm, when `obstacle` is empty.
    std::size_t other_link {0};
    //! Name of the other link, when `obstacle` is empty.
    std::string other_link_name;

    //! The pair in words, e.g. `link "forearm" and obstacle "table"`.
    [[nodiscard]] std::string describe() const;
};

//! Collision queries for one robot among obstacles.
//!
//! Every link is checked against every obstacle and against the robot's other links,
//! except links next to each other in an arm (their joint is where they touch) and
//! arm bases against obstacles (a base stands where it is mounted and never moves).
//! Two bodies touch when their clearance is at most `contact_distance`. Checks along
//! a motion are continuous: between the configurations it evaluates, the check bounds
//! how far any point of a link can move (from the joint displacements and the links'
//! lengths) against the clearance found, and looks closer wherever that bound does
//! not clear, so no contact is missed between samples, however thin the obstacle.
//! A model is immutable; its queries may run on several threads at once.
class CollisionModel {
public:
    //! Clearance [m] at or below which two bodies count as touching.
    static constexpr double contact_distance = 1e-6;

    //! A model of `robot` among `obstacles`. Throws VelmorError (module "collision") for
    //! an empty robot, or (module "shapes") for an invalid shape.
    CollisionModel(std::shared_ptr<Robot> robot, const std::map<std::string, Shape>& obstacles);
    ~CollisionModel();
    CollisionModel(CollisionModel&&) noexcept;
    CollisionModel& operator=(CollisionModel&&) noexcept;

    //! The contact of least clearance at `joint_position` [rad], or empty when nothing touches.
    //! Throws VelmorError (module "collision") for a position of the wrong size.
    [[nodiscard]] std::optional<Collision> check(const std::vector<double>& joint_position) const;
    //! The first contact along `trajectory`, whose joints move linearly between samples as
    //! the driver plays them; empty when there is none. Throws like check(joint_position).
    [[nodiscard]] std::optional<Collision> check(const Trajectory& trajectory) const;
    //! The first contact on the straight joint-space motion from `from` to `to` [rad],
    //! with the time running from 0 at `from` to 1 at `to`.
    [[nodiscard]] std::optional<Collision> check_motion(const std::vector<double>& from,
                                                        const std::vector<double>& to) const;
    //! The smallest clearance [m] of any checked pair at `joint_position`: negative when
    //! bodies overlap; +infinity when nothing is checked.
    [[nodiscard]] double clearance(const std::vector<double>& joint_position) const;
    //! Every link that touches something at `joint_position`, as (arm, link) pairs in order.
    [[nodiscard]] std::vector<std::pair<std::size_t, std::size_t>> links_in_contact(
        const std::vector<double>& joint_position) const;

    //! The frame of every link at `joint_position` [rad], arm by arm and base first: the
    //! frames its capsules are fixed to. Throws like check(joint_position).
    [[nodiscard]] std::vector<Frame> link_frames(const std::vector<double>& joint_position) const;

    //! Number of configurations evaluated by the queries so far (for benchmarks).
    [[nodiscard]] std::size_t evaluations() const;

    //! What a model is made of; defined in the library's sources only.
    struct Impl;

private:
    std::unique_ptr<Impl> impl;
};

}  // namespace velmor
