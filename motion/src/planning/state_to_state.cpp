#include "planning/state_to_state.hpp"

#include <algorithm>

#include "planning/double_s_profile.hpp"
#include "planning/polynomial_profile.hpp"
#include "planning/stop_profile.hpp"

namespace velmor::planning {

namespace {

bool at_rest(const std::vector<JointState>& states) {
    return std::all_of(states.begin(), states.end(),
                       [](const JointState& s) { return s.velocity == 0.0 && s.acceleration == 0.0; });
}

std::vector<double> positions(const std::vector<JointState>& states) {
    std::vector<double> result;
    result.reserve(states.size());
    for (const JointState& s : states) {
        result.push_back(s.position);
    }
    return result;
}

std::optional<JointMotion> from_rest(const std::vector<JointState>& from, const std::vector<JointState>& to,
                                     const std::vector<JointLimits>& limits) {
    if (at_rest(to)) {
        return synchronised_double_s(positions(from), positions(to), limits);
    }
    return synchronised_quintic(from, to, limits);
}

std::optional<JointMotion> stop_then_move(const std::vector<JointState>& from, const std::vector<JointState>& to,
                                          const std::vector<JointLimits>& limits) {
    JointMotion stop = reach_velocities(from, std::vector<double>(from.size(), 0.0), limits);
    std::vector<JointState> rest;
    for (Profile& joint : stop.joints) {
        joint.append_jerk(stop.duration - joint.duration(), 0.0);
        rest.push_back(JointState {joint.end_state().position, 0.0, 0.0});
    }
    const std::optional<JointMotion> move = from_rest(rest, to, limits);
    if (!move) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < stop.joints.size(); ++i) {
        stop.joints[i].append(move->joints[i]);
    }
    stop.duration += move->duration;
    return stop;
}

}  // namespace

std::optional<JointMotion> state_to_state(const std::vector<JointState>& from, const std::vector<JointState>& to,
                                          const std::vector<JointLimits>& limits) {
    if (at_rest(from)) {
        return from_rest(from, to, limits);
    }
    if (std::optional<JointMotion> direct = synchronised_quintic(from, to, limits)) {
        return direct;
    }
    return stop_then_move(from, to, limits);
}

}  // namespace velmor::planning
