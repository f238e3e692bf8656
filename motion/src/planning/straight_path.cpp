#include "planning/straight_path.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "planning/double_s_profile.hpp"
#include "planning/plan_guards.hpp"
#include "planning/sampling.hpp"

namespace velmor::planning {

namespace {

//! The normalised double S profile s(t) from 0 to 1 of one leg; empty when both ends are the same point.
std::optional<Profile> leg_profile(const std::vector<double>& from, const std::vector<double>& to,
                                   const std::vector<JointLimits>& limits) {
    constexpr double infinity = std::numeric_limits<double>::infinity();
    JointLimits normalised {0.0, 1.0, infinity, infinity, infinity};
    for (std::size_t j = 0; j < from.size(); ++j) {
        const double distance = std::abs(to[j] - from[j]);
        if (distance > 0.0) {
            normalised.max_velocity = std::min(normalised.max_velocity, limits[j].max_velocity / distance);
            normalised.max_acceleration = std::min(normalised.max_acceleration, limits[j].max_acceleration / distance);
            normalised.max_jerk = std::min(normalised.max_jerk, limits[j].max_jerk / distance);
        }
    }
    if (!(normalised.max_velocity < infinity)) {
        return std::nullopt;
    }
    return double_s(0.0, 1.0, normalised);
}

//! One leg: every joint moves by its share of the leg's profile, so the joints stay on
//! the straight line between the ends.
Trajectory leg(const std::vector<double>& from, const std::vector<double>& to, const std::optional<Profile>& profile,
               double delta_time) {
    const std::size_t dof = from.size();
    if (profile) {
        const Profile& s = *profile;
        std::vector<double> times = sample_times(s.duration(), delta_time);
        // However short, a leg ends at its far point.
        if (times.size() == 1) {
            times.push_back(s.duration());
        }
        std::vector<std::vector<double>> positions;
        std::vector<std::vector<double>> velocities;
        std::vector<std::vector<double>> accelerations;
        for (std::size_t k = 0; k < times.size(); ++k) {
            // The ends are exact: the path's points, at rest.
            const JointState at = k == 0 ? JointState {0.0, 0.0, 0.0}
                                  : k + 1 == times.size() ? JointState {1.0, 0.0, 0.0}
                                                          : s.at(times[k]);
            std::vector<double> p(dof);
            std::vector<double> v(dof);
            std::vector<double> a(dof);
            for (std::size_t j = 0; j < dof; ++j) {
                const double span = to[j] - from[j];
                p[j] = k + 1 == times.size() ? to[j] : from[j] + span * at.position;
                v[j] = span * at.velocity;
                a[j] = span * at.acceleration;
            }
            positions.push_back(std::move(p));
            velocities.push_back(std::move(v));
            accelerations.push_back(std::move(a));
        }
        return Trajectory(std::move(times), std::move(positions), std::move(velocities), std::move(accelerations));
    }
    // Both ends are the same point: a single sample at rest.
    return Trajectory({0.0}, {from}, {std::vector<double>(dof, 0.0)}, {std::vector<double>(dof, 0.0)});
}

}  // namespace

std::optional<Trajectory> along_straight_legs(const std::vector<std::vector<double>>& points,
                                              const std::vector<JointLimits>& limits, double delta_time) {
    std::vector<std::optional<Profile>> profiles;
    double duration = 0.0;
    for (std::size_t i = 0; i + 1 < points.size(); ++i) {
        profiles.push_back(leg_profile(points[i], points[i + 1], limits));
        duration += profiles.back() ? profiles.back()->duration() : 0.0;
    }
    if (!within_sample_cap(duration, delta_time)) {
        return std::nullopt;
    }
    Trajectory result;
    for (std::size_t i = 0; i + 1 < points.size(); ++i) {
        result.append(leg(points[i], points[i + 1], profiles[i], delta_time));
    }
    return result;
}

}  // namespace velmor::planning
