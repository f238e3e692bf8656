#include "planning/stop_profile.hpp"

#include <algorithm>

#include "planning/brake.hpp"
#include "planning/velocity_change.hpp"

namespace velmor::planning {

Profile reach_velocity(const JointState& start, double target_velocity, const JointLimits& limits) {
    Profile profile(start);
    acceleration_into_limits(start, limits).append_to(profile);
    const JointState inside = profile.end_state();
    velocity_change(inside.velocity, inside.acceleration, target_velocity, 0.0, limits.max_acceleration,
                    limits.max_jerk)
        .append_to(profile);
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
