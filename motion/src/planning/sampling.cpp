#include "planning/sampling.hpp"

#include <algorithm>
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

//! The regular sample times k·`delta_time` that lie more than `closeness` before `end`.
std::size_t regular_samples(double end, double delta_time, double closeness) {
    const double last = end - closeness;
    if (!(last > 0.0)) {
        return 0;
    }
    auto count = static_cast<std::size_t>(std::ceil(last / delta_time));
    // The division may round either way; the products decide.
    while (count > 0 && static_cast<double>(count - 1) * delta_time >= last) {
        --count;
    }
    while (static_cast<double>(count) * delta_time < last) {
        ++count;
    }
    return count;
}

}  // namespace

std::vector<double> sample_times(double duration, double delta_time) {
    // A regular sample closer than this to the end would leave an interval too short to mean anything.
    const double closeness = 1e-9 * std::max(1.0, duration);
    const std::size_t regular = regular_samples(duration, delta_time, closeness);
    std::vector<double> times;
    times.reserve(regular + 1);
    for (std::size_t k = 0; k < regular; ++k) {
        times.push_back(static_cast<double>(k) * delta_time);
    }
    // A motion shorter than that is a single sample: the start.
    times.push_back(regular == 0 ? 0.0 : duration);
    return times;
}

Trajectory sample(const JointMotion& motion, double delta_time, const std::vector<JointState>& start,
                  const std::vector<JointState>& end) {
    const std::size_t dof = start.size();
    std::vector<double> times = sample_times(motion.duration, delta_time);
    const std::size_t count = times.size();
    std::vector<std::vector<double>> positions;
    std::vector<std::vector<double>> velocities;
    std::vector<std::vector<double>> accelerations;
    positions.reserve(count);
    velocities.reserve(count);
    accelerations.reserve(count);
    // Sample times rise, so each joint's pieces are walked once rather than searched; each
    // sample is filled while its vectors are fresh in the cache.
    std::vector<std::size_t> piece(dof, 0);
    for (std::size_t k = 0; k < count; ++k) {
        const bool last = k + 1 == count && k > 0;
        const double t = times[k];
        std::vector<double> position(dof);
        std::vector<double> velocity(dof);
        std::vector<double> acceleration(dof);
        if (k == 0 || last) {
            assign(k == 0 ? start : end, position, velocity, acceleration);
        } else {
            for (std::size_t i = 0; i < dof; ++i) {
                const Profile& profile = motion.joints[i];
                const std::vector<Piece>& pieces = profile.pieces();
                const std::vector<double>& piece_starts = profile.piece_starts();
                std::size_t& p = piece[i];
                while (p + 1 < pieces.size() && piece_starts[p + 1] <= t) {
                    ++p;
                }
                const JointState s = p < pieces.size() && t < profile.duration()
                                         ? evaluate(pieces[p], t - piece_starts[p])
                                         : profile.at(t);
                position[i] = s.position;
                velocity[i] = s.velocity;
                acceleration[i] = s.acceleration;
            }
        }
        positions.push_back(std::move(position));
        velocities.push_back(std::move(velocity));
        accelerations.push_back(std::move(acceleration));
    }
    return Trajectory(std::move(times), std::move(positions), std::move(velocities), std::move(accelerations));
}

}  // namespace velmor::planning
