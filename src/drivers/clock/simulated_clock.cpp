#include "simulated_clock.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include <velmor/velmor_error.hpp>

namespace velmor::drivers {

namespace {

// A long wall-clock wait is cut into slices and worked out anew after each, so that no
// time point is computed from a period that may be years long.
constexpr double longest_slice {3600.0};  // [s]

// An infinite speed or one that is not a number runs the loop without pauses, as 0 does,
// and likewise follows no wall-clock time.
double wall_clock_speed(double speed) {
    return std::isfinite(speed) ? speed : 0.0;
}

}  // namespace

SimulatedClock::SimulatedClock(double speed) : speed(wall_clock_speed(speed)) {}

double SimulatedClock::now() const {
    const std::lock_guard lock(mutex);
    return value_at(WallClock::now());
}

double SimulatedClock::value_at(WallClock::time_point instant) const {
    if (!follows_wall_clock()) {
        return stored;
    }
    const std::chrono::duration<double> wall = instant - since;
    double followed = wall.count() * speed;
    if (!dwell_ends.empty()) {
        followed = std::min(followed, std::max(0.0, *dwell_ends.begin() - stored));
    }
    return stored + followed;
}

void SimulatedClock::fold(WallClock::time_point instant) {
    stored = value_at(instant);
    since = instant;
}

void SimulatedClock::changed() {
    ++changes;
    wakeup.notify_all();
}

void SimulatedClock::advance(double seconds) {
    const std::lock_guard lock(mutex);
    fold(WallClock::now());
    stored += seconds;
    changed();
}

void SimulatedClock::set_moving(bool moving) {
    const std::lock_guard lock(mutex);
    fold(WallClock::now());
    this->moving = moving;
    changed();
}

void SimulatedClock::set_stepping(bool stepping) {
    const std::lock_guard lock(mutex);
    fold(WallClock::now());
    this->stepping = stepping;
    changed();
}

void SimulatedClock::set_speed(double speed) {
    const std::lock_guard lock(mutex);
    fold(WallClock::now());
    this->speed = wall_clock_speed(speed);
    changed();
}

void SimulatedClock::notify() {
    const std::lock_guard lock(mutex);
    changed();
}

bool SimulatedClock::wait(const std::function<bool()>& ready, std::optional<double> timeout) {
    std::unique_lock lock(mutex);
    if (closed) {
        throw VelmorError("driver", "The driver is shutting down; no wait on its clock starts.");
    }
    const double deadline =
        timeout ? value_at(WallClock::now()) + *timeout : std::numeric_limits<double>::infinity();
    const bool dwells = std::isfinite(deadline);
    auto dwell = dwells ? dwell_ends.insert(deadline) : dwell_ends.end();
    ++waits;
    const bool held = run_wait(lock, ready, deadline);
    // Folded while the dwell still bounds the clock, so that it never goes back.
    fold(WallClock::now());
    if (dwells) {
        dwell_ends.erase(dwell);
        if (!held && !closed) {
            stored = std::max(stored, deadline);
        }
    }
    --waits;
    changed();
    return held;
}

bool SimulatedClock::run_wait(std::unique_lock<std::mutex>& lock, const std::function<bool()>& ready,
                              double deadline) {
    while (true) {
        const std::uint64_t seen = changes;
        lock.unlock();
        const bool held = ready();
        lock.lock();
        if (held) {
            return true;
        }
        if (closed || value_at(WallClock::now()) >= deadline) {
            return false;
        }
        if (changes != seen) {
            continue;
        }
        if (follows_wall_clock() && std::isfinite(deadline)) {
            const double left = std::min((deadline - value_at(WallClock::now())) / speed, longest_slice);
            wakeup.wait_for(lock, std::chrono::duration_cast<std::chrono::nanoseconds>(
                                      std::chrono::duration<double>(std::max(left, 0.0))));
        } else if (moving || !std::isfinite(deadline)) {
            wakeup.wait(lock);
        } else {
            // Nothing advances the clock but this wait: it ends now, at its deadline.
            return false;
        }
    }
}

void SimulatedClock::close() {
    std::unique_lock lock(mutex);
    closed = true;
    changed();
    wakeup.wait(lock, [this] { return waits == 0; });
}

}  // namespace velmor::drivers
