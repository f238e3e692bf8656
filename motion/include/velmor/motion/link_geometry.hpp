#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

namespace velmor {

struct DenavitHartenberg;
class ChainJoint;

//! A segment with a radius: every point within `radius` of the segment from `start` to `end`.
struct Capsule {
    //! One end of the segment, in the frame of its link [m].
    std::array<double, 3> start;
    //! The other end of the segment [m].
    std::array<double, 3> end;
    //! Radius [m]; 0 makes a bare segment.
    double radius;
};

//! The solid of one link of an arm: capsules fixed to the link's frame.
//! Link 0 is the arm's base, in the base frame; link i is what joint i moves,
//! in the frame after joint i (RobotArm::calculate_joint_frames()[i]).
struct LinkGeometry {
    //! Name in collision reports, e.g. "forearm".
    std::string name;
    //! The capsules the link is made of.
    std::vector<Capsule> capsules;
    //! Links of the same arm (by index, the base 0) never checked against this one, as
    //! its neighbours are not: parts that touch by design.
    std::vector<std::size_t> ignored_links {};
};

//! Link geometry along an arm's Denavit-Hartenberg skeleton: link i is a bare segment
//! along d_i and one along a_i; the base is empty. Links "base", "link1", "link2", ...
[[nodiscard]] std::vector<LinkGeometry> skeleton_geometry(const std::vector<DenavitHartenberg>& dh_parameters);

//! Link geometry along any chain: link i is a bare segment from joint i's axis to its
//! frame and one from its frame to the next joint's axis; links named after the joints'
//! carried links "base", "link1", ...
[[nodiscard]] std::vector<LinkGeometry> skeleton_geometry(const std::vector<ChainJoint>& chain);

}  // namespace velmor
