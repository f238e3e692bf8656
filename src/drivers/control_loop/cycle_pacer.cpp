#include "cycle_pacer.hpp"

#include <sys/prctl.h>

namespace velmor::drivers {

CyclePacer::CyclePacer(TimeSpeed& speed) : speed(speed) {
    // Failure leaves the default slack: the loop then runs a little slower, nothing worse.
    static_cast<void>(prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL));
}

void CyclePacer::begin_cycle() {
    woken_at = speed.wakes();
}

void CyclePacer::pause(double delta_time, Pacing pacing) {
    using Clock = std::chrono::steady_clock;
    // Back to back, as at time speed 0: neither the clock nor the lock of a pause is needed.
    if (!speed.pauses(delta_time)) {
        on_grid = false;
        return;
    }
    const auto now = Clock::now();
    if (pacing != Pacing::FixedRate) {
        on_grid = false;
        static_cast<void>(speed.pause(now, delta_time, woken_at));
        return;
    }
    const auto start = on_grid ? next_start : now;
    const TimeSpeed::Pause waited = speed.pause(start, delta_time, woken_at);
    if (waited.end != TimeSpeed::PauseEnd::Elapsed) {
        // Cycles back to back, or one brought forward: a grid kept from before would
        // ask for a burst of catching up later.
        on_grid = false;
        return;
    }
    // The period has passed since `start`, so this time point lies in the past and fits.
    const auto period = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(waited.period));
    const auto due = start + period;
    const auto after = Clock::now();
    // Behind the grid the cycle follows at once; more than a period behind, the missed
    // cycles are given up and the grid starts anew from now.
    next_start = after - due > period ? after : due;
    on_grid = true;
}

}  // namespace velmor::drivers
