#pragma once

#include <string>
#include <vector>

#include <velmor/motion/plan_options.hpp>
#include <velmor/motion/robot.hpp>

namespace velmor::planning {

//! Throws VelmorError (module "planner") with `message`: how the planner refuses a request
//! it cannot make sense of.
[[noreturn]] void refuse_plan(const std::string& message);

//! No trajectory, because of `reason` (a sentence): how the planner answers a sound
//! request that no motion fulfils. Logs the reason at the info level (tag "planner").
PlanResult decline(std::string reason);

//! `value` in `unit` with up to four significant digits, for reasons ("3.5 rad").
std::string amount(double value, const char* unit);

//! Throws VelmorError (module "planner") unless `delta_time` [s] is a positive finite number.
void check_delta_time(double delta_time);

//! Throws VelmorError (module "planner") unless every joint's velocity, acceleration and
//! jerk limits are positive finite numbers and its position range is ordered.
void check_limits(const std::vector<JointLimits>& limits);

//! Whether a motion of `duration` [s] sampled every `delta_time` [s] stays within an hour
//! and a million samples; longer ones are refused rather than sampled.
bool within_sample_cap(double duration, double delta_time);

}  // namespace velmor::planning
