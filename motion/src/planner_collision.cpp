// The planner's collision queries and its planning around obstacles.
#include <velmor/motion/planner.hpp>

#include "planning/collision_free.hpp"
#include "planning/robot_choice.hpp"

namespace velmor {

PlanResult Planner::plan(const Motion& motion, const std::optional<Goal>& start, const std::optional<Goal>& goal,
                         const PlanOptions& options) const {
    PlanResult result = plan_direct(motion, start, goal);
    if (options.ignore_collisions || !result.trajectory) {
        return result;
    }
    const auto robot = planning::choose_robot(motion.robot, environment);
    return planning::go_around(*this, robot, *collision_model(robot), std::move(*result.trajectory), options);
}

PlanResult Planner::plan(const std::string& name, const std::optional<Goal>& start, const std::optional<Goal>& goal,
                         const PlanOptions& options) const {
    if (const auto linear = registered_linear_motion(name)) {
        return plan(*linear, start, goal, options);
    }
    return plan(registered_motion(name), start, goal, options);
}

std::shared_ptr<const CollisionModel> Planner::collision_model(const std::shared_ptr<Robot>& robot) const {
    const std::shared_ptr<Environment> world = environment;
    const auto chosen = planning::choose_robot(robot, world);
    // Read before the obstacles: a change in between only makes the next check build again.
    const std::uint64_t revision = world ? world->obstacles_revision() : 0;
    const std::lock_guard lock(collision_mutex);
    // Compared by owner, not by address: the weak pointers keep a replaced environment's
    // or robot's memory from being reused by a new one at the same address.
    const auto same = [](const auto& kept, const auto& now) {
        return !kept.owner_before(now) && !now.owner_before(kept);
    };
    CollisionCache& cache = collision_cache;
    if (!cache.model || cache.revision != revision || !same(cache.environment, world) || !same(cache.robot, chosen)) {
        const std::map<std::string, Shape> obstacles = world ? world->obstacles() : std::map<std::string, Shape> {};
        auto model = std::make_shared<const CollisionModel>(chosen, obstacles);
        cache = CollisionCache {world, revision, chosen, std::move(model)};
    }
    return cache.model;
}

std::optional<Collision> Planner::check_collision(const std::vector<double>& joint_position,
                                                  const std::shared_ptr<Robot>& robot) const {
    return collision_model(robot)->check(joint_position);
}

std::optional<Collision> Planner::check_trajectory(const Trajectory& trajectory,
                                                   const std::shared_ptr<Robot>& robot) const {
    return collision_model(robot)->check(trajectory);
}

}  // namespace velmor
