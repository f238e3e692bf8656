#pragma once

#include <chrono>
#include <cstdint>

#include <velmor/drivers/pacing.hpp>
#include <velmor/drivers/time_speed.hpp>

namespace velmor::drivers {

//! Spaces the cycles of a control-loop thread in wall-clock time, at the pace that
//! `speed` sets. Made on the loop thread when it starts and used by that thread only.
class CyclePacer {
public:
    //! Sets the calling thread's timer slack to its least, so that a wait ends
    //! close to its deadline instead of up to 50 µs later (the Linux default).
    explicit CyclePacer(TimeSpeed& speed);

    //! Marks the start of a cycle's work: a wake of the speed from now on ends the pause after it.
    void begin_cycle();
    //! Waits until the next cycle is due, delta_time [s] / speed of wall-clock time
    //! after the end of this cycle's work (PauseAfterWork) or after the start of this
    //! cycle on the grid of deadlines (FixedRate); see TimeSpeed::pause for what
    //! ends a pause early and for the speeds that mean no pause.
    void pause(double delta_time, Pacing pacing);

private:
    TimeSpeed& speed;
    std::uint64_t woken_at {0};
    // The start of the next cycle on the grid; valid while `on_grid`.
    std::chrono::steady_clock::time_point next_start;
    bool on_grid {false};
};

}  // namespace velmor::drivers
