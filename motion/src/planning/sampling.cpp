#include "planning/sampling.hpp"

#include <cmath>

namespace velmor::planning {

namespace {

void assign(const std::vector<JointState>& states, std::vector<double>& position, std::vector<double>& velocity,
            std::vector<double>& acceleration) {
    for (std::size_t i = 0; i < states.size(); ++i) {
        position[i] = states[i].position;
        velocity[i] = states[i].velocity;
        acceleration[i] = states[i].acceleration;
    }
}

}  // namespace

Trajectory sample(const JointMotion& motion, double delta_time, const std::vector<JointState>& start,
                  const std::vector<JointState>& end) {
    const std::size_t dof = start.size();
    std::vector<double> times;
    // A regular sample closer than this to the end would leave an interval too short to mean anything.
    const double closeness = 1e-9 * std::max(1.0, motion.duration);
    for (std::size_t k = 0;; ++k) {
        const double t = static_cast<double>(k) * delta_time;
        if (t >= motion.duration - closeness) {
            break;
        }
        times.push_back(t);
    }
    // A motion shorter than that is a single sample: the start.
    times.push_back(times.empty() ? 0.0 : motion.duration);
    const std::size_t count = times.size();
    std::vector<std::vector<double>> positions(count, std::vector<double>(dof));
    std::vector<std::vector<double>> velocities(count, std::vector<double>(dof));
    std::vector<std::vector<double>> accelerations(count, std::vector<double>(dof));
    for (std::size_t k = 1; k + 1 < count; ++k) {
        for (std::size_t i = 0; i < dof; ++i) {
            const JointState s = motion.joints[i].at(times[k]);
            positions[k][i] = s.position;
            velocities[k][i] = s.velocity;
            accelerations[k][i] = s.acceleration;
        }
    }
    assign(end, positions.back(), velocities.back(), accelerations.back());
    assign(start, positions.front(), velocities.front(), accelerations.front());
    return Trajectory(std::move(times), std::move(positions), std::move(velocities), std::move(accelerations));
}

}  // namespace velmor::planning
