#pragma once

#include <optional>

#include <velmor/motion/trajectory.hpp>

namespace velmor::drivers {

class SimulatedDriver;

//! How the simulated robot comes to rest when its motion must end early (a fault,
//! an event that failed): along the planner's stop from the state the current cycle
//! left, or at once where no stop can be planned. Used on the thread that runs the
//! cycles, which owns the motion's state.
class RestPlanner {
public:
    explicit RestPlanner(SimulatedDriver& driver);

    //! The planner's stop from the current state; empty, with a warning, when none can be planned.
    [[nodiscard]] std::optional<velmor::Trajectory> stop_from_current_state() const;
    //! Stops the robot where the cycle put it: velocity and acceleration are 0 from this
    //! cycle on. Returns the one-sample trajectory that holds it there.
    [[nodiscard]] velmor::Trajectory stand_still() const;

private:
    SimulatedDriver& driver;
};

}  // namespace velmor::drivers
