#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <velmor/motion/frame.hpp>
#include <velmor/motion/goal.hpp>
#include <velmor/motion/robot.hpp>
#include <velmor/motion/robot_arm.hpp>
#include <velmor/motion/waypoint.hpp>

#include "planning/profile.hpp"

namespace velmor::planning {

//! Throws VelmorError (module "planner") unless `frame` holds finite numbers only (`what` names it).
void check_finite(const Frame& frame, const std::string& what);

//! The one arm of `robot`; throws VelmorError (module "planner") saying that `needing`
//! needs a robot of one arm, followed by `advice`, when the robot has another number of arms.
std::shared_ptr<RobotArm> single_arm(const std::shared_ptr<Robot>& robot, const std::string& needing,
                                     const std::string& advice = "");

//! The joint states of a waypoint; throws VelmorError (module "planner") when its
//! vectors do not have `dof` entries or hold numbers that are not finite (`what` names
//! the point in the message).
std::vector<JointState> to_states(const Waypoint& point, std::size_t dof, const char* what);

//! The joint states of a start point. Cartesian points are seeded by their reference
//! or the middle of the joint ranges. Empty when inverse kinematics finds no solution,
//! and `unreachable` then says why; throws VelmorError (module "planner") for points
//! that do not fit the robot or hold numbers that are not finite.
std::optional<std::vector<JointState>> resolve_start(const std::shared_ptr<Robot>& robot, const Goal& start,
                                                     std::string& unreachable);

//! The joint states of a goal, reached from `start` (which seeds inverse kinematics,
//! fills the arms a RobotMap leaves out and is clamped into a Region). Empty when
//! inverse kinematics finds no solution, with `unreachable` saying why; throws as resolve_start.
std::optional<std::vector<JointState>> resolve_goal(const std::shared_ptr<Robot>& robot, const MotionGoal& goal,
                                                    const std::vector<JointState>& start, std::string& unreachable);

//! Empty when the goal lies within the position limits, its velocity and acceleration within
//! theirs, and each joint can arrive in its state from within its velocity limit; otherwise
//! a sentence naming the first joint that does not and the limit it exceeds.
std::string beyond_limits(const std::vector<JointState>& goal, const std::vector<JointLimits>& limits);

}  // namespace velmor::planning
