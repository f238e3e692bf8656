#include "planning/state_to_state.hpp"

#include <algorithm>
#include <optional>

#include "planning/double_s_profile.hpp"
#include "planning/polynomial_profile.hpp"
#include "planning/stop_profile.hpp"

namespace velmor::planning {

namespace {

bool at_rest(const std::vector<JointState>& states) {
    return std::all_of(states.begin(), states.end(),
                       [](const JointState& s) { return s.velocity == 0.0 && s.acceleration == 0.0; });
}

//! Stops every joint, pads the joints that stopped early with rest so that all
//! stop together, and returns the positions where they came to rest.
std::vector<double> stop_together(JointMotion& stop) {
    std::vector<double> rest;
    for (Profile& joint : stop.joints) {
        joint.append_jerk(stop.duration - joint.duration(), 0.0);
        rest.push_back(joint.end_state().position);
    }
    return rest;
}

//! Stop, move at rest, and start again: the approach to a moving goal is a stop from
//! the goal with its velocity negated, played backwards. Every leg keeps within the
//! limits, so this works whenever the two states themselves do.
JointMotion stop_move_start(const std::vector<JointState>& from, const std::vector<JointState>& to,
                            const std::vector<JointLimits>& limits) {
    const std::vector<double> zero(from.size(), 0.0);
    JointMotion stop = reach_velocities(from, zero, limits);
    const std::vector<double> stop_positions = stop_together(stop);

    std::vector<JointState> mirrored_goal;
    for (const JointState& s : to) {
        mirrored_goal.push_back(JointState {s.position, -s.velocity, s.acceleration});
    }
    JointMotion approach = reach_velocities(mirrored_goal, zero, limits);
    const std::vector<double> approach_positions = stop_together(approach);

    const JointMotion move = synchronised_double_s(stop_positions, approach_positions, limits);
    for (std::size_t i = 0; i < from.size(); ++i) {
        stop.joints[i].append(move.joints[i]);
        stop.joints[i].append(approach.joints[i].reversed());
    }
    stop.duration += move.duration + approach.duration;
    return stop;
}

}  // namespace

JointMotion state_to_state(const std::vector<JointState>& from, const std::vector<JointState>& to,
                           const std::vector<JointLimits>& limits) {
    if (at_rest(from) && at_rest(to)) {
        return synchronised_double_s(positions(from), positions(to), limits);
    }
    JointMotion detour = stop_move_start(from, to, limits);
    std::optional<JointMotion> direct = synchronised_quintic(from, to, limits);
    if (direct && direct->duration <= detour.duration) {
        return *std::move(direct);
    }
    return detour;
}

}  // namespace velmor::planning
