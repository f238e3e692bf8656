#pragma once

#include <ctime>

#include <velmor/drivers/pacing.hpp>

namespace velmor::drivers {

//! Spaces the cycles of a control-loop thread in wall-clock time. Made on the
//! loop thread when it starts and used by that thread only.
class CyclePacer {
public:
    //! Sets the calling thread's timer slack to its least, so that a sleep ends
    //! close to its deadline instead of up to 50 µs later (the Linux default).
    CyclePacer();

    //! Waits until the next cycle is due, `period` [s] of wall-clock time after the
    //! end of this cycle's work (PauseAfterWork) or after the start of this cycle on
    //! the grid of deadlines (FixedRate). A period that is not a positive number
    //! of microseconds, or one too long to count, means no wait.
    void pause(double period, Pacing pacing);

private:
    void pause_after_work(double period) const;
    void pause_until_deadline(double period);

    // The start of the next cycle on the grid; valid while `on_grid`.
    timespec next_start {};
    bool on_grid {false};
};

}  // namespace velmor::drivers
