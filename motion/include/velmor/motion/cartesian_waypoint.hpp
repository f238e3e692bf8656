#pragma once

#include <optional>
#include <vector>

#include <velmor/motion/frame.hpp>

namespace velmor {

//! A tool pose to move to; the joint position is found by inverse kinematics.
struct CartesianWaypoint {
    //! Target pose of the tool centre point in the robot's base frame.
    Frame frame;
    //! Joint position that seeds the inverse kinematics (empty: the motion's start).
    std::optional<std::vector<double>> reference_config;
};

}  // namespace velmor
