#pragma once

#include <velmor/motion/robot.hpp>

#include "planning/farthest_motion.hpp"
#include "planning/jerk_phases.hpp"
#include "planning/profile.hpp"

namespace velmor::planning {

//! The durations one joint can take to move between two states, and its profile for each.
//!
//! A joint can make the move in a duration T exactly when it can reach the target's velocity
//! and acceleration in T and the target position lies between the nearest and the farthest
//! positions it can reach with them. The farthest position falls and then rises with T, the
//! nearest rises and then falls, so the durations the joint can take are all from the
//! shortest on, except for gaps: the durations in which it can neither get there without
//! overshooting nor turn around and come back, and the durations too long to reach the
//! target's velocity and acceleration at full acceleration yet too short to ease off.
class JointTiming {
public:
    //! Between `from` and `to`, where `to` must be reachable from within the limits (see
    //! can_arrive_inside). A start beyond the limits is first brought back inside them.
    JointTiming(const JointState& from, const JointState& to, const JointLimits& limits);

    //! The shortest duration [s] of the move.
    [[nodiscard]] double shortest() const { return earliest_from(0.0); }
    //! The shortest duration [s], not less than `duration`, that the move can take.
    [[nodiscard]] double earliest_from(double duration) const;
    //! The profile of the move lasting `duration` [s], which must be one the move can take:
    //! the fastest rise to a cruise velocity, the cruise and the latest descent to the
    //! target, with the cruise velocity chosen to end at the target position.
    [[nodiscard]] Profile profile(double duration) const;

private:
    JointState from;
    JointState to;
    JointLimits limits;
    JerkPhases brake;
    double brake_duration;
    //! The state once inside the limits.
    JointState inside;
    //! From `inside` to the target [rad].
    double distance;
    //! The shortest duration [s] to the target's velocity and acceleration.
    double velocity_only;
    //! The distance [rad] covered meanwhile.
    double velocity_only_distance;
    //! Durations [s] between these cannot reach the target's velocity and acceleration (see
    //! velocity_change_gap); both infinite when there are none.
    double gap_start;
    double gap_end;
    double tolerance;
    FarthestMotion forward;
    //! The farthest motions of the move mirrored: the nearest ones, negated.
    FarthestMotion backward;
};

}  // namespace velmor::planning
