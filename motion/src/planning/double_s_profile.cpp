#include "planning/double_s_profile.hpp"

#include <algorithm>
#include <cmath>

namespace velmor::planning {

namespace {

//! Phase lengths of a rest-to-rest double S: jerk phases, acceleration phase
//! (including its two jerk phases) and cruise, all [s].
struct Phases {
    double jerk;
    double acceleration;
    double cruise;
};

Phases phases(double distance, const JointLimits& limits) {
    const double v = limits.max_velocity;
    const double a = limits.max_acceleration;
    const double j = limits.max_jerk;
    Phases result {};
    // First assume the velocity limit is reached.
    if (v * j >= a * a) {
        result.jerk = a / j;
        result.acceleration = result.jerk + v / a;
    } else {
        result.jerk = std::sqrt(v / j);
        result.acceleration = 2.0 * result.jerk;
    }
    result.cruise = distance / v - result.acceleration;
    if (result.cruise >= 0.0) {
        return result;
    }
    // Too short to cruise: the peak velocity stays below the limit. With the
    // acceleration limit reached, distance = a·(Ta - Tj)·Ta; else distance = 2·j·Tj³.
    result.cruise = 0.0;
    if (distance >= 2.0 * a * a * a / (j * j)) {
        result.jerk = a / j;
        result.acceleration = result.jerk / 2.0 + std::sqrt(result.jerk * result.jerk / 4.0 + distance / a);
    } else {
        result.jerk = std::cbrt(distance / (2.0 * j));
        result.acceleration = 2.0 * result.jerk;
    }
    return result;
}

}  // namespace

Profile double_s(double from, double to, const JointLimits& limits) {
    Profile profile(JointState {from, 0.0, 0.0});
    const double distance = to - from;
    if (distance == 0.0) {
        return profile;
    }
    const Phases p = phases(std::abs(distance), limits);
    const double j = std::copysign(limits.max_jerk, distance);
    const double constant_acceleration = std::max(p.acceleration - 2.0 * p.jerk, 0.0);
    profile.append_jerk(p.jerk, j);
    profile.append_jerk(constant_acceleration, 0.0);
    profile.append_jerk(p.jerk, -j);
    profile.append_jerk(p.cruise, 0.0);
    profile.append_jerk(p.jerk, -j);
    profile.append_jerk(constant_acceleration, 0.0);
    profile.append_jerk(p.jerk, j);
    return profile;
}

JointMotion synchronised_double_s(const std::vector<double>& from, const std::vector<double>& to,
                                  const std::vector<JointLimits>& limits) {
    JointMotion motion;
    motion.joints.reserve(from.size());
    for (std::size_t i = 0; i < from.size(); ++i) {
        motion.joints.push_back(double_s(from[i], to[i], limits[i]));
        motion.duration = std::max(motion.duration, motion.joints.back().duration());
    }
    // Slowing a joint down by time-scaling keeps its path and scales velocity,
    // acceleration and jerk by k, k² and k³ (k < 1), so every limit still holds.
    for (Profile& joint : motion.joints) {
        joint = joint.stretched(motion.duration);
    }
    return motion;
}

}  // namespace velmor::planning
