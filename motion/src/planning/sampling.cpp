#include "planning/sampling.hpp"

#include <algorithm>
#include <cmath>

namespace velmor::planning {

namespace {

//! Writes `states` into row `k` of the three columns of `dof` joints.
void assign(const std::vector<JointState>& states, std::size_t k, std::size_t dof, double* position, double* velocity,
            double* acceleration) {
    for (std::size_t i = 0; i < dof; ++i) {
        position[k * dof + i] = states[i].position;
        velocity[k * dof + i] = states[i].velocity;
        acceleration[k * dof + i] = states[i].acceleration;
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
    std::vector<double> positions(count * dof);
    std::vector<double> velocities(count * dof);
    std::vector<double> accelerations(count * dof);
    double* const p = positions.data();
    double* const v = velocities.data();
    double* const a = accelerations.data();
    assign(start, 0, dof, p, v, a);
    // Sample times rise: each joint's pieces are walked once, each filling the samples that
    // fall within it in a loop of its own.
    const std::size_t inner = count > 1 ? count - 1 : 1;
    for (std::size_t i = 0; i < dof; ++i) {
        const Profile& profile = motion.joints[i];
        const std::vector<Piece>& pieces = profile.pieces();
        const std::vector<double>& piece_starts = profile.piece_starts();
        std::size_t k = 1;
        for (std::size_t n = 0; n < pieces.size(); ++n) {
            const Piece& piece = pieces[n];
            const double piece_start = piece_starts[n];
            const double piece_end = n + 1 < pieces.size() ? piece_starts[n + 1] : profile.duration();
            for (; k < inner && times[k] < piece_end; ++k) {
                const JointState s = evaluate(piece, times[k] - piece_start);
                p[k * dof + i] = s.position;
                v[k * dof + i] = s.velocity;
                a[k * dof + i] = s.acceleration;
            }
        }
        // Past its end the profile goes on at its final velocity.
        for (; k < inner; ++k) {
            const JointState s = profile.at(times[k]);
            p[k * dof + i] = s.position;
            v[k * dof + i] = s.velocity;
            a[k * dof + i] = s.acceleration;
        }
    }
    // The last sample is the goal itself, so that no rounding of the profiles shows there.
    if (count > 1) {
        assign(end, count - 1, dof, p, v, a);
    }
    return Trajectory(std::move(times), SampleColumn(count, dof, std::move(positions)),
                      SampleColumn(count, dof, std::move(velocities)), SampleColumn(count, dof, std::move(accelerations)));
}

}  // namespace velmor::planning
