#pragma once

#include <vector>

namespace velmor {

//! Motion state of a robot at one instant, one entry per joint.
struct State {
    //! Time stamp [s].
    double time {0.0};
    //! Joint positions [rad] or [m].
    std::vector<double> position;
    //! Joint velocities [rad/s] or [m/s].
    std::vector<double> velocity;
    //! Joint accelerations [rad/s²] or [m/s²].
    std::vector<double> acceleration;
};

}  // namespace velmor
