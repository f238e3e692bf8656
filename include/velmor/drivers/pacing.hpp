#pragma once

namespace velmor::drivers {

//! How a free-running control loop spaces its cycles in wall-clock time.
enum class Pacing : int {
    //! A pause of delta_time / time_speed after each cycle's work: a cycle lasts
    //! the pause plus the work, so real time runs slightly slow.
    PauseAfterWork,
    //! Cycles start on a fixed grid of absolute deadlines delta_time / time_speed
    //! apart: no drift. A loop that falls more than a period behind starts a new
    //! grid instead of running the missed cycles back to back.
    FixedRate,
};

}  // namespace velmor::drivers
