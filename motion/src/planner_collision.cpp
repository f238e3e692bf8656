// The planner's collision queries and its planning around obstacles.
#include <velmor/motion/planner.hpp>

#include "planning/collision_free.hpp"
#include "planning/robot_choice.hpp"

namespace velmor {

PlanResult Planner::plan(const Motion& motion, const std::optional<Goal>& start, const std::optional<Goal>& goal,
                         const PlanOptions& options) const {
    PlanResult result;
    result.trajectory = plan(motion, start, goal);
    if (options.ignore_collisions || !result.trajectory) {
        return result;
    }
    const auto robot = planning::choose_robot(motion.robot, environment);
    return planning::go_around(*this, robot, collision_model(robot), std::move(*result.trajectory), options);
}

PlanResult Planner::plan(const std::string& name, const std::optional<Goal>& start, const std::optional<Goal>& goal,
                         const PlanOptions& options) const {
    if (const auto linear = registered_linear_motion(name)) {
        return plan(*linear, start, goal, options);
    }
    return plan(registered_motion(name), start, goal, options);
}

CollisionModel Planner::collision_model(const std::shared_ptr<Robot>& robot) const {
    const auto chosen = planning::choose_robot(robot, environment);
    return CollisionModel(chosen, environment ? environment->obstacles() : std::map<std::string, Shape> {});
}

std::optional<Collision> Planner::check_collision(const std::vector<double>& joint_position,
                                                  const std::shared_ptr<Robot>& robot) const {
    return collision_model(robot).check(joint_position);
}

std::optional<Collision> Planner::check_trajectory(const Trajectory& trajectory,
                                                   const std::shared_ptr<Robot>& robot) const {
    return collision_model(robot).check(trajectory);
}

}  // namespace velmor
