#include <velmor/motion/planner.hpp>

#include <cmath>
#include <string>

#include <velmor/common/velmor_error.hpp>

#include "planning/goal_resolution.hpp"
#include "planning/plan_guards.hpp"
#include "planning/robot_choice.hpp"
#include "planning/sampling.hpp"
#include "planning/state_to_state.hpp"
#include "planning/stop_profile.hpp"

namespace velmor {

namespace {

using planning::amount;
using planning::check_delta_time;
using planning::check_limits;
using planning::decline;
using planning::JointState;

MotionGoal as_motion_goal(const Goal& goal) {
    return std::visit([](const auto& point) { return MotionGoal(point); }, goal);
}

PlanResult finish(const planning::JointMotion& motion, double delta_time, const std::vector<JointState>& start,
                  const std::vector<JointState>& goal, const std::string& name) {
    if (!planning::within_sample_cap(motion.duration, delta_time)) {
        return decline("The motion would last " + amount(motion.duration, "s") +
                       ", longer than an hour or a million samples.");
    }
    PlanResult result;
    result.trajectory = planning::sample(motion, delta_time, start, goal);
    result.trajectory->motion = name;
    return result;
}

}  // namespace

Planner::Planner(std::shared_ptr<Environment> environment, double delta_time)
    : environment(std::move(environment)), delta_time(delta_time) {
    check_delta_time(delta_time);
}

Planner::Planner(std::shared_ptr<Robot> robot, double delta_time)
    : Planner(std::make_shared<Environment>(std::move(robot)), delta_time) {}

void Planner::add_motion(const Motion& motion) {
    const std::lock_guard lock(motions_mutex);
    motions.insert_or_assign(motion.name, motion);
    linear_motions.erase(motion.name);
}

using planning::choose_robot;

std::optional<Trajectory> Planner::plan(const LowLevelMotion& motion) const {
    return plan_direct(motion).trajectory;
}

PlanResult Planner::plan_direct(const LowLevelMotion& motion) const {
    check_delta_time(delta_time);
    const std::shared_ptr<Robot> robot = choose_robot(motion.robot, environment);
    const std::size_t dof = robot->get_degrees_of_freedom();
    const std::vector<JointLimits> limits = robot->get_joint_limits();
    check_limits(limits);
    const std::vector<JointState> start = planning::to_states(motion.start, dof, "start");

    if (motion.control_interface == LowLevelMotion::ControlInterface::Velocity) {
        // An empty goal means every joint comes to rest.
        std::vector<double> target(dof, 0.0);
        if (!motion.goal.velocity.empty()) {
            if (motion.goal.velocity.size() != dof) {
                planning::refuse_plan("The goal's velocity has " + std::to_string(motion.goal.velocity.size()) +
                       " entries but the robot has " + std::to_string(dof) + " joints.");
            }
            target = motion.goal.velocity;
        }
        for (std::size_t i = 0; i < dof; ++i) {
            if (!std::isfinite(target[i])) {
                planning::refuse_plan("The goal's velocity of joint " + std::to_string(i) + " is not a finite number.");
            }
            if (std::abs(target[i]) > limits[i].max_velocity) {
                return decline("Joint " + std::to_string(i) + "'s goal velocity " + amount(target[i], "rad/s") +
                               " is beyond its limit " + amount(limits[i].max_velocity, "rad/s") + ".");
            }
        }
        const planning::JointMotion planned = planning::reach_velocities(start, target, limits);
        std::vector<JointState> end;
        for (std::size_t i = 0; i < dof; ++i) {
            end.push_back(JointState {planned.joints[i].at(planned.duration).position, target[i], 0.0});
        }
        return finish(planned, delta_time, start, end, motion.name);
    }

    const std::vector<JointState> goal = planning::to_states(motion.goal, dof, "goal");
    if (std::string beyond = planning::beyond_limits(goal, limits); !beyond.empty()) {
        return decline(std::move(beyond));
    }
    return finish(planning::state_to_state(start, goal, limits), delta_time, start, goal, motion.name);
}

Motion Planner::registered_motion(const std::string& name) const {
    const std::lock_guard lock(motions_mutex);
    const auto found = motions.find(name);
    if (found == motions.end()) {
        planning::refuse_plan("The planner knows no motion named \"" + name + "\".");
    }
    return found->second;
}

std::optional<Trajectory> Planner::plan(const std::string& name, const std::optional<Goal>& start,
                                        const std::optional<Goal>& goal) const {
    if (const auto linear = registered_linear_motion(name)) {
        return plan(*linear, start, goal);
    }
    return plan(registered_motion(name), start, goal);
}

std::optional<Trajectory> Planner::plan(const Motion& motion, const std::optional<Goal>& start,
                                        const std::optional<Goal>& goal) const {
    return plan_direct(motion, start, goal).trajectory;
}

PlanResult Planner::plan_direct(const Motion& motion, const std::optional<Goal>& start,
                                const std::optional<Goal>& goal) const {
    check_delta_time(delta_time);
    const std::shared_ptr<Robot> robot = choose_robot(motion.robot, environment);
    const std::vector<JointLimits> limits = robot->get_joint_limits();
    check_limits(limits);
    const std::optional<Goal>& start_point = start ? start : motion.start;
    if (!start_point) {
        planning::refuse_plan("The motion \"" + motion.name + "\" has no start point and none was given.");
    }
    std::string unreachable;
    const auto start_states = planning::resolve_start(robot, *start_point, unreachable);
    if (!start_states) {
        return decline("The start cannot be reached. " + unreachable);
    }
    const auto goal_states =
        planning::resolve_goal(robot, goal ? as_motion_goal(*goal) : motion.goal, *start_states, unreachable);
    if (!goal_states) {
        return decline(std::move(unreachable));
    }
    if (std::string beyond = planning::beyond_limits(*goal_states, limits); !beyond.empty()) {
        return decline(std::move(beyond));
    }
    return finish(planning::state_to_state(*start_states, *goal_states, limits), delta_time, *start_states,
                  *goal_states, motion.name);
}

}  // namespace velmor
