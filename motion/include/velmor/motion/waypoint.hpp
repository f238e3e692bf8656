#pragma once

#include <cstddef>
#include <vector>

namespace velmor {

//! A joint-space point with its velocity and acceleration, one entry per joint.
struct Waypoint {
    //! Joint positions [rad] or [m].
    std::vector<double> position;
    //! Joint velocities [rad/s] or [m/s]; empty means zero.
    std::vector<double> velocity;
    //! Joint accelerations [rad/s²] or [m/s²]; empty means zero.
    std::vector<double> acceleration;

    Waypoint() = default;
    //! `degrees_of_freedom` joints, all at zero and at rest.
    explicit Waypoint(std::size_t degrees_of_freedom)
        : position(degrees_of_freedom, 0.0),
          velocity(degrees_of_freedom, 0.0),
          acceleration(degrees_of_freedom, 0.0) {}
    //! A point with the given state; missing derivatives are zero.
    Waypoint(std::vector<double> position, std::vector<double> velocity = {}, std::vector<double> acceleration = {})
        : position(std::move(position)), velocity(std::move(velocity)), acceleration(std::move(acceleration)) {}
};

}  // namespace velmor
