#include "simulated_clock.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include <velmor/velmor_error.hpp>

namespace velmor::drivers {

namespace {

constexpr double forever {std::numeric_limits<double>::infinity()};

// A long wall-clock wait is cut into slices and worked out anew after each, so that no
// time point is computed from a period that may be years long.
constexpr double longest_slice {3600.0};  // [s]

// An infinite speed or one that is not a number runs the loop without pauses, as 0 does,
// and likewise follows no wall-clock time.
double wall_clock_speed(double speed) {
    return std::isfinite(speed) ? speed : 0.0;
}

double seconds_between(SimulatedClock::WallClock::time_point from, SimulatedClock::WallClock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

}  // namespace

SimulatedClock::SimulatedClock(double speed, double cycle)
    : speed(wall_clock_speed(speed)), cycle(std::isfinite(cycle) && cycle > 0.0 ? cycle : 0.0), alarm(forever) {}

double SimulatedClock::now() const {
    const std::lock_guard lock(mutex);
    return value_at(WallClock::now());
}

double SimulatedClock::followed(double wall) const {
    const double simulated = std::max(wall, 0.0) * speed;
    return cycle > 0.0 ? std::floor(simulated / cycle) * cycle : simulated;
}

double SimulatedClock::limit() const {
    double until = alarm;
    if (!dwell_ends.empty()) {
        until = std::min(until, *dwell_ends.begin());
    }
    return std::max(stored, until);
}

double SimulatedClock::value_at(WallClock::time_point instant) const {
    if (!follows_wall_clock()) {
        return stored;
    }
    // The limit itself once reached, not a sum that may miss it by a rounding.
    return std::min(stored + followed(seconds_between(since, instant)), limit());
}

double SimulatedClock::wall_until(double target, WallClock::time_point instant) const {
    double simulated = std::max(target - stored, 0.0);
    if (cycle > 0.0) {
        simulated = std::ceil(simulated / cycle) * cycle;
    }
    return std::max(simulated / speed - seconds_between(since, instant), 0.0);
}

SimulatedClock::WallClock::time_point SimulatedClock::after_grace(WallClock::time_point instant) const {
    if (speed <= 0.0 || cycle <= 0.0) {
        return instant;
    }
    // Bounded: at a tiny speed one cycle is longer than a time point can hold.
    const double grace = std::min(cycle / speed, longest_slice);
    return instant + std::chrono::duration_cast<WallClock::duration>(std::chrono::duration<double>(grace));
}

void SimulatedClock::fold(WallClock::time_point instant) {
    if (!follows_wall_clock()) {
        since = after_grace(instant);
        return;
    }
    const double whole = followed(seconds_between(since, instant));
    if (stored + whole >= limit()) {
        stored = limit();
        since = after_grace(instant);
        return;
    }
    // The part of a cycle not yet followed stays with `since` for the next fold.
    stored += whole;
    since += std::chrono::duration_cast<WallClock::duration>(std::chrono::duration<double>(whole / speed));
}

void SimulatedClock::changed() {
    ++changes;
    if (sleepers > 0) {
        wakeup.notify_all();
    }
}

void SimulatedClock::sleep_for(std::unique_lock<std::mutex>& lock, double wall) {
    ++sleepers;
    wakeup.wait_for(lock, std::chrono::duration_cast<std::chrono::nanoseconds>(
                              std::chrono::duration<double>(std::clamp(wall, 0.0, longest_slice))));
    --sleepers;
}

void SimulatedClock::sleep(std::unique_lock<std::mutex>& lock) {
    ++sleepers;
    wakeup.wait(lock);
    --sleepers;
}

bool SimulatedClock::advance(double seconds) {
    double before {0.0};
    return advance(seconds, before);
}

bool SimulatedClock::advance(double seconds, double& before) {
    const std::lock_guard lock(mutex);
    // A cycle runs during a motion or a step, when no wall-clock time is followed and
    // there is nothing to fold.
    if (follows_wall_clock()) {
        fold(WallClock::now());
    }
    before = stored;
    stored += seconds;
    changed();
    return stored >= alarm;
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

void SimulatedClock::hold(bool held) {
    const std::lock_guard lock(mutex);
    fold(WallClock::now());
    holds += held ? 1 : -1;
    changed();
}

void SimulatedClock::set_speed(double speed) {
    const std::lock_guard lock(mutex);
    const auto instant = WallClock::now();
    fold(instant);
    this->speed = wall_clock_speed(speed);
    // A part of a cycle followed at the old speed is not counted at the new one.
    since = after_grace(instant);
    changed();
}

void SimulatedClock::notify() {
    const std::lock_guard lock(mutex);
    changed();
}

void SimulatedClock::set_ring(Ring ring) {
    const std::lock_guard lock(mutex);
    this->ring = std::move(ring);
}

void SimulatedClock::set_alarm(double time) {
    const std::lock_guard lock(mutex);
    // Folded first: the old alarm may have bounded what wall-clock time added so far.
    fold(WallClock::now());
    alarm = std::isnan(time) ? forever : time;
    changed();
}

std::optional<double> SimulatedClock::await_alarm() {
    std::unique_lock lock(mutex);
    while (!closed) {
        const auto instant = WallClock::now();
        if (follows_wall_clock() && std::isfinite(alarm) && value_at(instant) >= alarm) {
            fold(instant);
            return std::max(stored, alarm);
        }
        if (alarm == -forever && follows_wall_clock()) {
            return stored;
        }
        if (follows_wall_clock() && std::isfinite(alarm)) {
            sleep_for(lock, wall_until(alarm, instant));
        } else {
            sleep(lock);
        }
    }
    return std::nullopt;
}

bool SimulatedClock::wait(const std::function<bool()>& ready, std::optional<double> timeout) {
    std::unique_lock lock(mutex);
    if (closed) {
        throw VelmorError("driver", "The driver is shutting down; no wait on its clock starts.");
    }
    const double deadline = timeout ? value_at(WallClock::now()) + *timeout : forever;
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
        const auto instant = WallClock::now();
        if (closed || value_at(instant) >= deadline) {
            return false;
        }
        if (changes != seen) {
            continue;
        }
        if (follows_wall_clock()) {
            // The alarm, if due first, is rung by await_alarm()'s thread, which wakes this one.
            const double target = std::min(deadline, alarm);
            if (std::isfinite(target)) {
                sleep_for(lock, std::min(wall_until(target, instant), longest_slice));
            } else {
                sleep(lock);
            }
        } else if (moving) {
            sleep(lock);
        } else if (alarm < forever && alarm <= deadline && ring) {
            // Nothing advances the clock but this wait: it goes straight to the devices'
            // next action, lets them act, and looks at its condition again.
            stored = std::max(stored, alarm);
            const double time = stored;
            ++changes;
            lock.unlock();
            ring(time);
            lock.lock();
        } else if (!std::isfinite(deadline)) {
            sleep(lock);
        } else {
            // Nothing advances the clock but this wait: it ends now, at its deadline.
            return false;
        }
    }
}

void SimulatedClock::close() {
    std::unique_lock lock(mutex);
    closed = true;
    ++changes;
    wakeup.notify_all();
    while (waits != 0) {
        sleep(lock);
    }
}

}  // namespace velmor::drivers
