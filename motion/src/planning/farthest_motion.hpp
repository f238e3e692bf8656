#pragma once

#include <optional>

#include "planning/jerk_phases.hpp"

namespace velmor::planning {

//! The motions of one joint that travel farthest in the positive direction within a
//! given time, from a start state to the velocity and acceleration of a target state
//! (its position is left free), keeping the velocity at most `cap`.
//!
//! Such a motion either rises as fast as it can to the cap, cruises there and comes down
//! to the target as late as it can, or, when the time is too short to cruise, ramps the
//! acceleration up, down and up again at full jerk, holding it where it meets its limit.
//! Both states must be inside the limits and able to stay below the cap.
class FarthestMotion {
public:
    //! From `from` to the velocity and acceleration of `to`, velocities at most `cap` [rad/s].
    FarthestMotion(const JointState& from, const JointState& to, double cap, double max_acceleration,
                   double max_jerk);

    //! The farthest motion lasting exactly `duration` [s]; empty when the target's velocity
    //! and acceleration cannot be reached in that time.
    [[nodiscard]] std::optional<JerkPhases> lasting(double duration) const;
    //! The distance [rad] covered by the farthest motion lasting `duration` [s], or -∞ when
    //! there is none.
    [[nodiscard]] double distance(double duration) const { return reach(duration).distance; }

    //! The distance covered in a duration, and how fast it grows with the duration.
    struct Reach {
        //! Distance [rad].
        double distance;
        //! Its derivative by the duration [rad/s]: the velocity of the cruise or, without one,
        //! the velocity in the middle of the downward ramp plus jerk·ramp²/8. The motion is
        //! optimal, so this is the value of its Hamiltonian, constant along the motion.
        double per_time;
    };
    //! The distance of the farthest motion lasting `duration` [s] and its derivative.
    [[nodiscard]] Reach reach(double duration) const;
    //! How fast the distance [rad] of the farthest motion lasting `duration` [s] grows with
    //! the cap [rad/s], while it cruises: the cruise, plus half of the ramps at its ends.
    [[nodiscard]] double distance_per_cap(double duration) const;
    //! The shortest duration [s] whose farthest motion cruises at the cap.
    [[nodiscard]] double cruise_from() const { return cruise_duration; }
    //! The distance [rad] covered by the farthest motion lasting cruise_from().
    [[nodiscard]] double cruise_distance() const { return cruise_distance_; }
    //! The velocity cap [rad/s].
    [[nodiscard]] double cap() const { return cap_; }

private:
    //! Durations [s] of the phases without a cruise: jerk up, hold the peak, jerk down, hold
    //! the valley, jerk up.
    struct Ramps {
        double up;
        double peak;
        double down;
        double valley;
        double rise;
    };
    [[nodiscard]] std::optional<Ramps> three_ramps(double duration) const;
    [[nodiscard]] bool cruises(double duration) const;

    JointState from;
    JointState to;
    double cap_;
    double max_acceleration;
    double max_jerk;
    JerkPhases rise;
    JerkPhases fall;
    double cruise_duration;
    double cruise_distance_;
};

}  // namespace velmor::planning
