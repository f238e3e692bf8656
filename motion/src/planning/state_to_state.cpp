#include "planning/state_to_state.hpp"

#include <algorithm>
#include <cmath>

#include "planning/double_s_profile.hpp"
#include "planning/joint_timing.hpp"

namespace velmor::planning {

namespace {

bool at_rest(const std::vector<JointState>& states) {
    return std::all_of(states.begin(), states.end(),
                       [](const JointState& s) { return s.velocity == 0.0 && s.acceleration == 0.0; });
}

}  // namespace

JointMotion state_to_state(const std::vector<JointState>& from, const std::vector<JointState>& to,
                           const std::vector<JointLimits>& limits) {
    if (at_rest(from) && at_rest(to)) {
        return synchronised_double_s(positions(from), positions(to), limits);
    }
    std::vector<JointTiming> timings;
    timings.reserve(from.size());
    double duration = 0.0;
    for (std::size_t i = 0; i < from.size(); ++i) {
        timings.emplace_back(from[i], to[i], limits[i]);
        duration = std::max(duration, timings.back().shortest());
    }
    // A joint that cannot take the duration is in one of its gaps (at most two); moving past
    // the gap's end may push another joint into one of its own, so at most one round per gap,
    // and one to confirm.
    for (std::size_t round = 0; round <= 2 * timings.size(); ++round) {
        bool moved = false;
        for (const JointTiming& timing : timings) {
            const double earliest = timing.earliest_from(duration);
            if (earliest > duration) {
                duration = earliest;
                moved = true;
            }
        }
        if (!moved) {
            break;
        }
    }
    JointMotion motion;
    motion.duration = duration;
    motion.joints.reserve(timings.size());
    for (std::size_t i = 0; i < timings.size(); ++i) {
        // States too far apart for the arithmetic get no profiles, only their duration.
        motion.joints.push_back(std::isfinite(duration) ? timings[i].profile(duration) : Profile(from[i]));
    }
    return motion;
}

}  // namespace velmor::planning
