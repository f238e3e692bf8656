#pragma once

#include <velmor/motion/robot.hpp>

#include "planning/jerk_phases.hpp"

namespace velmor::planning {

//! `state` mirrored about position 0: position, velocity and acceleration negated.
JointState mirrored(const JointState& state);

//! Full jerk towards the acceleration limit while a joint accelerates beyond it: empty
//! when the acceleration is within its limit.
JerkPhases acceleration_into_limits(const JointState& start, const JointLimits& limits);

//! The fastest way back inside the limits for a joint that is beyond its acceleration or
//! velocity limit, or that is bound to cross the velocity limit because its acceleration
//! cannot be taken back in time: empty for a joint that can stay inside. It ends with the
//! velocity at its limit and the acceleration turned away from it.
JerkPhases brake_into_limits(const JointState& start, const JointLimits& limits);

//! Whether a joint in `state` can keep its velocity within the limit from now on.
bool can_stay_inside(const JointState& state, const JointLimits& limits);

//! Whether a joint can arrive in `state` from within its velocity limit.
bool can_arrive_inside(const JointState& state, const JointLimits& limits);

}  // namespace velmor::planning
