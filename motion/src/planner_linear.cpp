// The planner's straight-line motions of the tool.
#include <velmor/motion/planner.hpp>

#include <cmath>

#include <velmor/common/velmor_error.hpp>
#include <velmor/motion/robot_arm.hpp>

#include "planning/collision_free.hpp"
#include "planning/goal_resolution.hpp"
#include "planning/linear_path.hpp"
#include "planning/plan_guards.hpp"
#include "planning/robot_choice.hpp"

namespace velmor {

namespace {

//! The tool pose a goal names: a Cartesian goal's frame, or the tool pose of a joint position.
Frame goal_pose(const RobotArm& arm, const Goal& goal) {
    if (const auto* cartesian = std::get_if<CartesianWaypoint>(&goal)) {
        return cartesian->frame;
    }
    if (const auto* position = std::get_if<std::vector<double>>(&goal)) {
        return arm.calculate_tcp(*position);
    }
    if (const auto* waypoint = std::get_if<Waypoint>(&goal)) {
        return arm.calculate_tcp(waypoint->position);
    }
    planning::refuse_plan("The goal of a straight-line motion is a tool pose or a joint position, not a RobotMap.");
}

}  // namespace

void Planner::add_motion(const LinearMotion& motion) {
    const std::lock_guard lock(motions_mutex);
    linear_motions.insert_or_assign(motion.name, motion);
    motions.erase(motion.name);
}

std::optional<LinearMotion> Planner::registered_linear_motion(const std::string& name) const {
    const std::lock_guard lock(motions_mutex);
    const auto found = linear_motions.find(name);
    if (found == linear_motions.end()) {
        return std::nullopt;
    }
    return found->second;
}

std::optional<Trajectory> Planner::plan(const LinearMotion& motion, const std::optional<Goal>& start,
                                        const std::optional<Goal>& goal) const {
    return plan_direct(motion, start, goal).trajectory;
}

PlanResult Planner::plan_direct(const LinearMotion& motion, const std::optional<Goal>& start,
                                const std::optional<Goal>& goal) const {
    planning::check_delta_time(delta_time);
    const auto robot = planning::choose_robot(motion.robot, environment);
    const auto arm = planning::single_arm(robot, "A straight-line motion");
    planning::check_limits(arm->get_joint_limits());
    const std::optional<Goal>& start_point = start ? start : motion.start;
    if (!start_point) {
        planning::refuse_plan("The straight-line motion \"" + motion.name + "\" has no start point and none was given.");
    }
    std::string unreachable;
    const auto states = planning::resolve_start(robot, *start_point, unreachable);
    if (!states) {
        return planning::decline("The start cannot be reached. " + unreachable);
    }
    for (const auto& state : *states) {
        if (std::abs(state.velocity) > 1e-9 || std::abs(state.acceleration) > 1e-9) {
            planning::refuse_plan("A straight-line motion starts at rest, but the start of \"" + motion.name + "\" moves.");
        }
    }
    const Frame target = goal ? goal_pose(*arm, *goal) : motion.goal.frame;
    planning::check_finite(target, "goal pose of the straight-line motion \"" + motion.name + "\"");
    auto trajectory =
        planning::linear_path(*arm, planning::positions(*states), target, motion.max_tool_speed, delta_time);
    if (!trajectory) {
        return planning::decline("The straight line would last longer than an hour or a million samples.");
    }
    trajectory->motion = motion.name;
    PlanResult result;
    result.trajectory = std::move(trajectory);
    return result;
}

PlanResult Planner::plan(const LinearMotion& motion, const std::optional<Goal>& start, const std::optional<Goal>& goal,
                         const PlanOptions& options) const {
    PlanResult result = plan_direct(motion, start, goal);
    if (options.ignore_collisions || !result.trajectory) {
        return result;
    }
    if (auto met = collision_model(motion.robot)->check(*result.trajectory)) {
        std::string warning = "The straight line meets " + met->describe() + " after " +
                              planning::seconds(met->time) + "; a straight line cannot go around it.";
        result = planning::decline(warning);
        result.warning = std::move(warning);
        result.blocking = std::move(met);
    }
    return result;
}

}  // namespace velmor
