// The planner's collision queries.
#include <velmor/motion/planner.hpp>

#include "planning/robot_choice.hpp"

namespace velmor {

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
