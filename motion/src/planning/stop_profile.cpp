#include "planning/stop_profile.hpp"

#include <algorithm>
#include <cmath>

namespace velmor::planning {

Profile reach_velocity(const JointState& start, double target_velocity, const JointLimits& limits) {
    const double j = limits.max_jerk;
    const double a0 = start.acceleration;
    Profile profile(start);
    // Bringing the acceleration straight to zero still changes the velocity by a0·|a0|/(2j);
    // what remains decides in which direction the acceleration has to go.
    const double remaining = target_velocity - (start.velocity + a0 * std::abs(a0) / (2.0 * j));
    if (std::abs(remaining) <= 1e-12 * std::max(1.0, std::abs(target_velocity))) {
        profile.append_jerk(std::abs(a0) / j, -std::copysign(j, a0));
        return profile;
    }
    // Work with the direction of the change taken as positive: ramp the acceleration
    // from A0 to a peak, hold it, ramp it back to zero. The velocity gained is
    // D = (A0 + peak)·|peak - A0|/(2j) + peak·hold + peak²/(2j).
    const double direction = remaining > 0.0 ? 1.0 : -1.0;
    const double start_acceleration = direction * a0;
    const double change = direction * (target_velocity - start.velocity);
    double peak = std::sqrt(j * change + start_acceleration * start_acceleration / 2.0);
    double hold = 0.0;
    if (peak > limits.max_acceleration) {
        peak = limits.max_acceleration;
        const double ramp_gain = (start_acceleration + peak) * std::abs(peak - start_acceleration) / (2.0 * j);
        hold = std::max((change - ramp_gain - peak * peak / (2.0 * j)) / peak, 0.0);
    }
    const double ramp_jerk = peak >= start_acceleration ? j : -j;
    profile.append_jerk(std::abs(peak - start_acceleration) / j, direction * ramp_jerk);
    profile.append_jerk(hold, 0.0);
    profile.append_jerk(peak / j, -direction * j);
    return profile;
}

JointMotion reach_velocities(const std::vector<JointState>& start, const std::vector<double>& target_velocity,
                             const std::vector<JointLimits>& limits) {
    JointMotion motion;
    motion.joints.reserve(start.size());
    for (std::size_t i = 0; i < start.size(); ++i) {
        motion.joints.push_back(reach_velocity(start[i], target_velocity[i], limits[i]));
        motion.duration = std::max(motion.duration, motion.joints.back().duration());
    }
    return motion;
}

}  // namespace velmor::planning
