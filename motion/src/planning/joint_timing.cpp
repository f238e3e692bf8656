#include "planning/joint_timing.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "planning/brake.hpp"
#include "planning/root_finding.hpp"
#include "planning/velocity_change.hpp"

namespace velmor::planning {

namespace {

//! The shortest duration [s], not less than `duration`, in which `motion` covers at least
//! `distance` [rad]; at `duration` it covers `short_of` [rad] less. Its distance falls and
//! then rises with the duration, linearly once it cruises, so there is one such crossing:
//! before `end` [s] when it covers `past_end` [rad] more there.
double reaching(const FarthestMotion& motion, double distance, double duration, double short_of,
                double end = std::numeric_limits<double>::infinity(), double past_end = 0.0) {
    if (end >= motion.cruise_from()) {
        if (duration >= motion.cruise_from() || motion.cruise_distance() < distance) {
            return std::max(duration, motion.cruise_from() + (distance - motion.cruise_distance()) / motion.cap());
        }
        end = motion.cruise_from();
        past_end = motion.cruise_distance() - distance;
    }
    const auto gap = [&](double t) {
        const FarthestMotion::Reach reach = motion.reach(t);
        return std::pair {reach.distance - distance, reach.per_time};
    };
    return find_rising_root(gap, duration, end, short_of, past_end);
}

//! The lowest cap on the velocity [rad/s] under which a joint can move between `from` and
//! `to`: the velocities both reach anyway while their accelerations turn.
double lowest_cap(const JointState& from, const JointState& to, double max_jerk) {
    const double rising = std::max(from.acceleration, 0.0);
    const double falling = std::max(-to.acceleration, 0.0);
    return std::max(from.velocity + rising * rising / (2.0 * max_jerk),
                    to.velocity + falling * falling / (2.0 * max_jerk));
}

//! Appends the motion that follows `first` with weight `weight` and `second` with weight
//! 1 - `weight`. Both start in `start` and last equally long; as the limits bound sets that
//! are convex, the weighted mean of two motions within them stays within them too.
void append_mixture(Profile& profile, const JointState& start, const JerkPhases& first, const JerkPhases& second,
                    double weight) {
    JointState s1 = start;
    JointState s2 = start;
    std::size_t i = 0;
    std::size_t k = 0;
    double left1 = first.size() > 0 ? first[0].duration : 0.0;
    double left2 = second.size() > 0 ? second[0].duration : 0.0;
    // Every step ends a phase of one of the two, unless rounding has left them unequal.
    for (std::size_t steps = 0; steps < first.size() + second.size() && (i < first.size() || k < second.size());
         ++steps) {
        const double j1 = i < first.size() ? first[i].jerk : 0.0;
        const double j2 = k < second.size() ? second[k].jerk : 0.0;
        double step = i < first.size() ? left1 : left2;
        if (i < first.size() && k < second.size()) {
            step = std::min(left1, left2);
        }
        const JointState mixed {weight * s1.position + (1.0 - weight) * s2.position,
                                weight * s1.velocity + (1.0 - weight) * s2.velocity,
                                weight * s1.acceleration + (1.0 - weight) * s2.acceleration};
        profile.append_jerk(step, weight * j1 + (1.0 - weight) * j2, mixed);
        s1 = advance(s1, step, j1);
        s2 = advance(s2, step, j2);
        if (i < first.size() && (left1 -= step) <= 0.0 && ++i < first.size()) {
            left1 = first[i].duration;
        }
        if (k < second.size() && (left2 -= step) <= 0.0 && ++k < second.size()) {
            left2 = second[k].duration;
        }
    }
}

}  // namespace

JointTiming::JointTiming(const JointState& from, const JointState& to, const JointLimits& limits)
    : from(from),
      to(to),
      limits(limits),
      brake(brake_into_limits(from, limits)),
      brake_duration(brake.duration()),
      inside(brake.end(from)),
      distance(to.position - inside.position),
      velocity_only(0.0),
      velocity_only_distance(0.0),
      gap_start(std::numeric_limits<double>::infinity()),
      gap_end(std::numeric_limits<double>::infinity()),
      tolerance(1e-12 * (std::abs(distance) +
                         limits.max_velocity * (limits.max_velocity / limits.max_acceleration +
                                                limits.max_acceleration / limits.max_jerk))),
      forward(inside, to, limits.max_velocity, limits.max_acceleration, limits.max_jerk),
      backward(mirrored(inside), mirrored(to), limits.max_velocity, limits.max_acceleration, limits.max_jerk) {
    const JerkPhases shortest = velocity_change(inside.velocity, inside.acceleration, to.velocity, to.acceleration,
                                                limits.max_acceleration, limits.max_jerk);
    velocity_only = shortest.duration();
    velocity_only_distance = shortest.end(JointState {0.0, inside.velocity, inside.acceleration}).position;
    if (const auto gap = velocity_change_gap(inside.velocity, inside.acceleration, to.velocity, to.acceleration,
                                             limits.max_acceleration, limits.max_jerk)) {
        // Just past its computed end the gap may still show in rounding.
        gap_start = gap->first;
        gap_end = gap->second * (1.0 + 1e-12);
    }
}

double JointTiming::earliest_from(double duration) const {
    const double start = std::max(duration - brake_duration, velocity_only);
    double t = start < gap_start || start > gap_end ? start : gap_end;
    // How far beyond the target the farthest motions either way get; at the shortest change
    // of velocity and acceleration both are that change.
    double ahead = 0.0;
    double behind = 0.0;
    const auto measure = [&] {
        ahead = t == velocity_only ? velocity_only_distance - distance : forward.distance(t) - distance;
        behind = t == velocity_only ? distance - velocity_only_distance : backward.distance(t) + distance;
    };
    // Finds where `motion` reaches `target`: before the gap if it gets there, else after it.
    const auto reach = [&](const FarthestMotion& motion, double target, double short_of) {
        if (t < gap_start) {
            const double before_gap = gap_start * (1.0 - 1e-9);
            const double there = motion.distance(before_gap) - target;
            if (there >= 0.0) {
                return reaching(motion, target, t, short_of, before_gap, there);
            }
            t = gap_end;
            short_of = motion.distance(t) - target;
            if (short_of >= 0.0) {
                return t;
            }
        }
        return reaching(motion, target, t, short_of);
    };
    measure();
    // Once the farthest position has come round to the target it only rises, so after the
    // nearest one has come back too, both stay beyond the target.
    for (int step = 0; step < 6; ++step) {
        if (ahead < -tolerance) {
            t = reach(forward, distance, ahead);
        } else if (behind < -tolerance) {
            t = reach(backward, -distance, behind);
        } else {
            break;
        }
        if (t > gap_start && t < gap_end) {
            t = gap_end;
        }
        measure();
    }
    return t == start && start == duration - brake_duration ? duration : t + brake_duration;
}

Profile JointTiming::profile(double duration) const {
    Profile profile(from);
    brake.append_to(profile);
    const double t = std::max(duration - brake_duration, velocity_only);
    // The joint that sets the duration ends on target going as far as it can either way.
    const double ahead = forward.distance(t) - distance;
    if (ahead <= tolerance) {
        forward.lasting(t).value().append_to(profile);
        return profile;
    }
    const double behind = backward.distance(t) + distance;
    if (behind <= tolerance) {
        backward.lasting(t).value().mirrored().append_to(profile);
        return profile;
    }
    // Any other joint cruises slower. Between the lowest caps under which the move stays
    // possible and the velocity limit, the farthest distance rises with the cap, so one
    // cap ends the farthest motion on target.
    const double j = limits.max_jerk;
    const double v_max = limits.max_velocity;
    const auto capped = [&](const JointState& start, const JointState& end, const FarthestMotion& tightest,
                            double target, double short_of, double beyond) {
        if (short_of >= -tolerance) {
            return tightest.lasting(t).value();
        }
        const auto gap = [&](double cap) {
            const FarthestMotion motion(start, end, cap, limits.max_acceleration, j);
            return std::pair {motion.distance(t) - target, motion.distance_per_cap(t)};
        };
        const double cap = find_rising_root(gap, tightest.cap(), v_max, short_of, beyond);
        return FarthestMotion(start, end, cap, limits.max_acceleration, j).lasting(t).value();
    };
    const FarthestMotion tight_forward(inside, to, std::min(lowest_cap(inside, to, j), v_max), limits.max_acceleration,
                                       j);
    const double farthest = tight_forward.distance(t);
    if (distance >= farthest - tolerance) {
        capped(inside, to, tight_forward, distance, farthest - distance, ahead).append_to(profile);
        return profile;
    }
    const FarthestMotion tight_backward(mirrored(inside), mirrored(to),
                                        std::min(lowest_cap(mirrored(inside), mirrored(to), j), v_max),
                                        limits.max_acceleration, j);
    const double nearest = -tight_backward.distance(t);
    if (distance <= nearest + tolerance) {
        capped(mirrored(inside), mirrored(to), tight_backward, -distance, -nearest + distance, behind)
            .mirrored()
            .append_to(profile);
        return profile;
    }
    // Between the tightest motions either way: a mixture of the two.
    append_mixture(profile, inside, tight_forward.lasting(t).value(), tight_backward.lasting(t).value().mirrored(),
                   (distance - nearest) / (farthest - nearest));
    return profile;
}

}  // namespace velmor::planning
