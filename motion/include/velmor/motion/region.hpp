#pragma once

#include <optional>
#include <vector>

#include <velmor/motion/frame.hpp>

namespace velmor {

//! A box in joint space: any position with min ≤ q ≤ max per joint.
struct Region {
    //! Lower bound per joint [rad] or [m].
    std::vector<double> min_position;
    //! Upper bound per joint [rad] or [m].
    std::vector<double> max_position;
};

//! A tool pose with tolerances: any pose close enough to `frame`.
struct CartesianRegion {
    //! Nominal pose of the tool centre point in the robot's base frame.
    Frame frame;
    //! Largest accepted distance from the nominal position [m].
    double position_tolerance {0.0};
    //! Largest accepted rotation angle from the nominal orientation [rad].
    double orientation_tolerance {0.0};
    //! Joint position that seeds the inverse kinematics (empty: the motion's start).
    std::optional<std::vector<double>> reference_config;
};

}  // namespace velmor
