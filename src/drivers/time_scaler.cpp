#include <velmor/drivers/time_scaler.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <utility>

#include <velmor/velmor_error.hpp>

namespace velmor::drivers {

namespace {

// 2^-48: a ramp closer than this to the current scale is not worth starting.
constexpr double scale_tolerance = 3.552713678800501e-15;
// 2^-42 and 2^-36: close enough to full speed and to a sample time to copy the sample as it is.
constexpr double full_speed_tolerance = 2.2737367544323206e-13;
constexpr double sample_time_tolerance = 1.4551915228366852e-11;
// 2^-51: keeps a step that lands exactly on a sample time just before it.
constexpr double step_shortening = 4.440892098500626e-16;

[[noreturn]] void throw_negative_scale(double value) {
    char text[64];
    std::snprintf(text, sizeof(text), "%f", value);
    throw VelmorError("time-scaler", std::string("Scale parameter should be greater than zero, but is '") + text +
                                         "'.");
}

void copy_sample(const Trajectory& trajectory, std::size_t index, State& state) {
    // Assigned in place, so that a state of the right size allocates nothing.
    const SampleRow position = trajectory.positions()[index];
    const SampleRow velocity = trajectory.velocities()[index];
    const SampleRow acceleration = trajectory.accelerations()[index];
    state.position.assign(position.begin(), position.end());
    state.velocity.assign(velocity.begin(), velocity.end());
    state.acceleration.assign(acceleration.begin(), acceleration.end());
}

}  // namespace

bool TimeScaler::MoveScaleLinearly::operator()(double time, double& scale_out) const {
    if (time >= end_time) {
        scale_out = end_scale;
        return false;
    }
    scale_out = (end_scale - start_scale) * (time - start_time) / (end_time - start_time) + start_scale;
    return true;
}

TimeScaler::TimeScaler(double delta_time) : delta_time(delta_time) {}

double TimeScaler::get_scale() const {
    return scale.load();
}

void TimeScaler::set_scale(double value) {
    if (!std::isfinite(value)) {
        return;
    }
    scale.store(std::min(max_scale.load(), std::max(min_scale.load(), value)));
}

double TimeScaler::get_trajectory_time() const {
    return trajectory_time.load();
}

double TimeScaler::get_elapsed_time() const {
    return elapsed_time.load();
}

void TimeScaler::set_trajectory(const Trajectory* new_trajectory) {
    const std::lock_guard lock(ramp_mutex);
    if (ramp) {
        const double current = scale.load();
        double reached = elapsed_time.load();
        // Without a change of scale the scale says nothing about the progress of
        // the ramp (and the ratio below would be 0/0); elapsed time still does.
        if (ramp->end_scale != ramp->start_scale) {
            reached = (current - ramp->start_scale) / (ramp->end_scale - ramp->start_scale) *
                          (ramp->end_time - ramp->start_time) +
                      ramp->start_time;
        }
        ramp->end_time -= reached;
        ramp->start_time = 0.0;
        ramp->start_scale = current;
    }
    trajectory = new_trajectory;
    sample_index = 0;
    trajectory_time.store(0.0);
    elapsed_time.store(0.0);
}

std::shared_future<bool> TimeScaler::move_scale_linearly_to(double target, double duration) {
    // Allocate the new promise and break the old one outside the lock, so that
    // the control loop never waits for an allocation of a caller.
    std::promise<bool> fresh;
    std::shared_future<bool> future = fresh.get_future().share();
    std::promise<bool> replaced;
    {
        const std::lock_guard lock(ramp_mutex);
        const double current = scale.load();
        // A ramp that never ends or heads for NaN would leave its future waiting forever.
        const bool unusable = !std::isfinite(target) || !std::isfinite(duration);
        if (unusable || std::abs(current - target) < scale_tolerance || duration < 0.0) {
            drop_ramp();
            return {};
        }
        replaced = std::move(ramp_done);
        ramp_done = std::move(fresh);
        const double now = elapsed_time.load();
        ramp = MoveScaleLinearly {now, now + duration, current, target};
    }
    return future;
}

void TimeScaler::stop_scale_movement() {
    const std::lock_guard lock(ramp_mutex);
    drop_ramp();
}

bool TimeScaler::report_outrun_ramp() {
    // Allocated outside the lock, as in move_scale_linearly_to.
    std::promise<bool> fresh;
    std::promise<bool> outrun;
    {
        const std::lock_guard lock(ramp_mutex);
        if (!ramp) {
            return false;
        }
        outrun = std::exchange(ramp_done, std::move(fresh));
    }
    outrun.set_value(false);
    return true;
}

bool TimeScaler::is_ramping() const {
    const std::lock_guard lock(ramp_mutex);
    return ramp.has_value();
}

void TimeScaler::drop_ramp() {
    if (!ramp) {
        return;
    }
    ramp.reset();
    // The dropped ramp never reaches its end: tell its waiter so, instead of
    // leaving it waiting for a promise that nobody will keep.
    ramp_done.set_value(false);
    ramp_done = std::promise<bool>();
}

TimeScaler::StepOutcome TimeScaler::next(State& state) {
    const std::lock_guard lock(ramp_mutex);
    if (trajectory == nullptr) {
        throw VelmorError("time-scaler", "No trajectory defined.");
    }
    if (const double current = scale.load(); current < 0.0) {
        throw_negative_scale(current);
    }

    const double elapsed = elapsed_time.load(std::memory_order_relaxed);
    if (ramp) {
        double ramp_scale = 0.0;
        if (!(*ramp)(elapsed, ramp_scale)) {
            ramp_done.set_value(true);
            ramp.reset();
        }
        set_scale(ramp_scale);
    }

    const Trajectory& played = *trajectory;
    // The last sample is played without a step of control time.
    const bool steps = sample_index + 1 < played.size();
    Playhead playhead {trajectory_time.load(std::memory_order_relaxed), sample_index};
    const double current_scale = scale.load();
    if (!play(played, playhead, current_scale, delta_time, state)) {
        if (ramp) {
            ramp_done.set_value(false);
            ramp_done = std::promise<bool>();
        }
        return StepOutcome::Finished;
    }
    state.time = elapsed;
    sample_index = playhead.index;
    trajectory_time.store(playhead.time, std::memory_order_relaxed);
    if (steps) {
        elapsed_time.store(elapsed + delta_time, std::memory_order_relaxed);
    }
    return current_scale <= 0.0 ? StepOutcome::Standstill : StepOutcome::Moving;
}

TimeScaler::Playhead TimeScaler::locate(const Trajectory& trajectory, double time) {
    if (trajectory.empty()) {
        return {time, 0};
    }
    if (time >= trajectory.duration()) {
        return {time, trajectory.size() - 1};
    }
    const std::vector<double>& times = trajectory.times();
    const auto found = std::lower_bound(times.begin(), times.end(), time) - times.begin();
    return {time, found > 0 ? static_cast<std::size_t>(found - 1) : 0};
}

bool TimeScaler::play(const Trajectory& trajectory, Playhead& playhead, double scale, double delta_time, State& state) {
    const std::size_t count = trajectory.size();
    const std::size_t index = playhead.index;
    if (index >= count) {
        // An empty trajectory has no last sample to repeat: the state stays as it is.
        if (count > 0) {
            copy_sample(trajectory, count - 1, state);
        }
        return false;
    }
    if (index == count - 1) {
        copy_sample(trajectory, index, state);
        playhead = {trajectory.duration(), count};
        return true;
    }

    const std::vector<double>& times = trajectory.times();
    const double played_time = playhead.time;
    if (std::abs(scale - 1.0) < full_speed_tolerance && std::abs(played_time - times[index]) < sample_time_tolerance) {
        copy_sample(trajectory, index, state);
    } else {
        const std::size_t joints = trajectory.degrees_of_freedom();
        state.position.resize(joints);
        state.velocity.resize(joints);
        state.acceleration.resize(joints);
        const SampleRow p0 = trajectory.positions()[index];
        const SampleRow p1 = trajectory.positions()[index + 1];
        const SampleRow v0 = trajectory.velocities()[index];
        const SampleRow v1 = trajectory.velocities()[index + 1];
        const SampleRow a0 = trajectory.accelerations()[index];
        const SampleRow a1 = trajectory.accelerations()[index + 1];
        const double to_next = times[index + 1] - played_time;
        const double from_previous = played_time - times[index];
        const double span = to_next + from_previous;
        const double squared_scale = scale * scale;
        for (std::size_t j = 0; j < joints; ++j) {
            state.position[j] = (p0[j] * to_next + p1[j] * from_previous) / span;
            state.velocity[j] = (v0[j] * to_next + v1[j] * from_previous) * scale / span;
            state.acceleration[j] = (a0[j] * to_next + a1[j] * from_previous) * squared_scale / span;
        }
    }

    const double advanced = played_time + scale * delta_time - step_shortening;
    playhead.time = advanced;
    if (advanced >= trajectory.duration()) {
        playhead.index = count - 1;
    } else {
        const auto from = times.begin() + static_cast<std::ptrdiff_t>(index > 0 ? index - 1 : 0);
        const auto first_not_before = std::lower_bound(from, times.end(), advanced);
        const auto found = first_not_before - times.begin();
        playhead.index = found > 0 ? static_cast<std::size_t>(found - 1) : 0;
    }
    return true;
}

}  // namespace velmor::drivers
