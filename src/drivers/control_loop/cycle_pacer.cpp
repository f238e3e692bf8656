#include "cycle_pacer.hpp"

#include <sys/prctl.h>

#include <cerrno>
#include <cstdint>

namespace velmor::drivers {

namespace {

constexpr std::int64_t nanoseconds_per_second {1'000'000'000};
// Beyond this a pause in microseconds no longer fits a signed 64-bit integer.
constexpr double longest_pause_us {9.2e18};

std::int64_t to_ns(const timespec& time) {
    return static_cast<std::int64_t>(time.tv_sec) * nanoseconds_per_second + time.tv_nsec;
}

timespec from_ns(std::int64_t ns) {
    return timespec {static_cast<std::time_t>(ns / nanoseconds_per_second), static_cast<long>(ns % nanoseconds_per_second)};
}

}  // namespace

CyclePacer::CyclePacer() {
    // Failure leaves the default slack: the loop then runs a little slower, nothing worse.
    static_cast<void>(prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL));
}

void CyclePacer::pause(double period, Pacing pacing) {
    const double pause_us = 1'000'000.0 * period;
    if (!(pause_us >= 1.0) || pause_us >= longest_pause_us) {
        // Cycles back to back: a grid begun now would ask for a burst of catching up later.
        on_grid = false;
        return;
    }
    if (pacing == Pacing::FixedRate) {
        pause_until_deadline(period);
    } else {
        on_grid = false;
        pause_after_work(period);
    }
}

void CyclePacer::pause_after_work(double period) const {
    const auto pause_us = static_cast<std::int64_t>(1'000'000.0 * period);
    timespec remaining {static_cast<std::time_t>(pause_us / 1'000'000), static_cast<long>(pause_us % 1'000'000) * 1000};
    while (nanosleep(&remaining, &remaining) == -1 && errno == EINTR) {
    }
}

void CyclePacer::pause_until_deadline(double period) {
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const std::int64_t now_ns = to_ns(now);
    const auto period_ns = static_cast<std::int64_t>(static_cast<double>(nanoseconds_per_second) * period);
    std::int64_t next_ns = on_grid ? to_ns(next_start) + period_ns : now_ns + period_ns;
    on_grid = true;
    if (next_ns <= now_ns) {
        // Behind the grid: the cycle follows at once. More than a period behind, the
        // missed cycles are given up and the grid starts anew from now.
        if (now_ns - next_ns > period_ns) {
            next_ns = now_ns;
        }
        next_start = from_ns(next_ns);
        return;
    }
    next_start = from_ns(next_ns);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next_start, nullptr) == EINTR) {
    }
}

}  // namespace velmor::drivers
