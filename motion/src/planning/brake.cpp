#include "planning/brake.hpp"

#include <algorithm>
#include <cmath>

namespace velmor::planning {

namespace {

// States taken from planned trajectories may touch a limit up to rounding.
constexpr double slack = 1.0 + 1e-12;

//! The highest velocity [rad/s] a joint in `state` reaches when it takes its acceleration
//! back as fast as it can, or the velocity itself when it is not accelerating.
double velocity_ahead(const JointState& state, double max_jerk) {
    const double a = std::max(state.acceleration, 0.0);
    return state.velocity + a * a / (2.0 * max_jerk);
}

}  // namespace

JointState mirrored(const JointState& state) {
    return {-state.position, -state.velocity, -state.acceleration};
}

JerkPhases acceleration_into_limits(const JointState& start, const JointLimits& limits) {
    JerkPhases phases;
    const double excess = std::abs(start.acceleration) - limits.max_acceleration;
    if (excess > 0.0) {
        phases.add(excess / limits.max_jerk, -std::copysign(limits.max_jerk, start.acceleration));
    }
    return phases;
}

bool can_stay_inside(const JointState& state, const JointLimits& limits) {
    return velocity_ahead(state, limits.max_jerk) <= limits.max_velocity * slack &&
           velocity_ahead(mirrored(state), limits.max_jerk) <= limits.max_velocity * slack;
}

bool can_arrive_inside(const JointState& state, const JointLimits& limits) {
    // Played backwards in time, arriving is staying inside with the velocity negated.
    return can_stay_inside(JointState {state.position, -state.velocity, state.acceleration}, limits);
}

JerkPhases brake_into_limits(const JointState& start, const JointLimits& limits) {
    JerkPhases phases = acceleration_into_limits(start, limits);
    const JointState state = phases.end(start);
    if (can_stay_inside(state, limits)) {
        return phases;
    }
    // Mirrored so that the velocity is the one too high.
    const double sign = velocity_ahead(state, limits.max_jerk) > limits.max_velocity * slack ? 1.0 : -1.0;
    const double v = sign * state.velocity;
    const double a = sign * state.acceleration;
    const double j = limits.max_jerk;
    const double v_max = limits.max_velocity;
    // Braking harder than this would leave the joint unable to stop short of the other limit.
    const double deepest = std::min(limits.max_acceleration, std::sqrt(4.0 * j * v_max));
    // At full negative jerk the velocity peaks when the acceleration passes zero, then falls
    // through the limit after this time:
    const double through = (a + std::sqrt(std::max(a * a + 2.0 * j * (v - v_max), 0.0))) / j;
    if (a - j * through >= -deepest) {
        phases.add(through, -sign * j);
        return phases;
    }
    const double ramp = (a + deepest) / j;
    const double v_ramped = v + a * ramp - j * ramp * ramp / 2.0;
    phases.add(ramp, -sign * j);
    phases.add((v_ramped - v_max) / deepest, 0.0);
    return phases;
}

}  // namespace velmor::planning
