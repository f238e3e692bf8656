#pragma once

#include <memory>
#include <string>

#include <velmor/motion/collision.hpp>
#include <velmor/motion/plan_options.hpp>
#include <velmor/motion/planner.hpp>

namespace velmor::planning {

//! `time` [s] as text with three decimals and its unit, for messages.
std::string seconds(double time);

//! `direct` when nothing along it collides in `model`; otherwise a trajectory from the
//! same start that stops first (when moving), then follows a searched collision-free
//! path to `direct`'s last position, where it ends at rest. No trajectory, with a
//! warning naming the blocking pair, when the start or the goal touches something, the
//! goal moves, or the search finds nothing within the options' iterations.
PlanResult go_around(const Planner& planner, const std::shared_ptr<Robot>& robot, const CollisionModel& model,
                     Trajectory direct, const PlanOptions& options);

}  // namespace velmor::planning
