#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include <velmor/motion/collision.hpp>
#include <velmor/motion/environment.hpp>
#include <velmor/motion/goal.hpp>
#include <velmor/motion/linear_motion.hpp>
#include <velmor/motion/motion.hpp>
#include <velmor/motion/plan_options.hpp>
#include <velmor/motion/trajectory.hpp>

namespace velmor {

//! Plans time-parameterised, limit-respecting trajectories for the robots of an
//! environment. `plan` may be called from several threads at once.
//!
//! `plan` throws VelmorError (module "planner") for points holding numbers that are not
//! finite and for velocity, acceleration or jerk limits that are not positive finite
//! numbers; it returns no trajectory for a motion longer than an hour or a million samples.
class Planner {
public:
    //! The robots planned for (may be empty).
    std::shared_ptr<Environment> environment;
    //! Sample interval of planned trajectories [s].
    double delta_time {0.004};

    explicit Planner(std::shared_ptr<Environment> environment = nullptr, double delta_time = 0.004);
    //! A planner for an environment holding just `robot`.
    explicit Planner(std::shared_ptr<Robot> robot, double delta_time = 0.004);

    //! Registers `motion` under its name, replacing one of the same name.
    void add_motion(const Motion& motion);

    //! Plans a low-level motion; empty when no trajectory exists. Why there is none is
    //! logged at the info level (tag "planner"), here and by every plan below; the
    //! overloads returning a PlanResult also give it as PlanResult::reason.
    [[nodiscard]] std::optional<Trajectory> plan(const LowLevelMotion& motion) const;
    //! Plans the registered motion `name`, with `start` and `goal` overriding its own.
    //! Throws VelmorError (module "planner") for an unknown name.
    [[nodiscard]] std::optional<Trajectory> plan(const std::string& name, const std::optional<Goal>& start = std::nullopt,
                                                 const std::optional<Goal>& goal = std::nullopt) const;
    //! Plans `motion`, with `start` and `goal` overriding its own.
    [[nodiscard]] std::optional<Trajectory> plan(const Motion& motion, const std::optional<Goal>& start = std::nullopt,
                                                 const std::optional<Goal>& goal = std::nullopt) const;

    //! Plans `motion` like plan(motion, start, goal) and, unless `options` ignore collisions,
    //! keeps the direct motion only when nothing collides along it; otherwise searches a
    //! path around the obstacles (see PlanOptions) that ends at rest at the goal, stopping
    //! first when the start moves. A goal or start in contact, a moving goal or an
    //! exhausted search give no trajectory and a warning naming the blocking pair.
    [[nodiscard]] PlanResult plan(const Motion& motion, const std::optional<Goal>& start,
                                  const std::optional<Goal>& goal, const PlanOptions& options) const;
    //! The registered motion `name`, planned as plan(motion, start, goal, options).
    [[nodiscard]] PlanResult plan(const std::string& name, const std::optional<Goal>& start,
                                  const std::optional<Goal>& goal, const PlanOptions& options) const;

    //! Registers the straight-line `motion` under its name, replacing any motion of the same name.
    void add_motion(const LinearMotion& motion);
    //! Plans the straight-line `motion` with `start` and `goal` overriding its own; the goal
    //! is a CartesianWaypoint, or a joint position whose tool pose is the one to reach.
    //! Throws VelmorError (module "planner") when the line leaves the robot's reach or
    //! crosses a singularity the joints cannot follow, when the start is not at rest, or
    //! for a robot of several arms.
    [[nodiscard]] std::optional<Trajectory> plan(const LinearMotion& motion,
                                                 const std::optional<Goal>& start = std::nullopt,
                                                 const std::optional<Goal>& goal = std::nullopt) const;
    //! As plan(motion, start, goal); unless `options` ignore collisions, a line along which
    //! something collides gives no trajectory and a warning naming the pair, since a
    //! straight line cannot go around an obstacle.
    [[nodiscard]] PlanResult plan(const LinearMotion& motion, const std::optional<Goal>& start,
                                  const std::optional<Goal>& goal, const PlanOptions& options) const;

    //! A collision model of `robot` (empty: the environment's only robot) among the
    //! environment's obstacles as they are now. Other robots of the environment are not
    //! part of it: their positions are unknown to the planner. The model is kept and
    //! handed out again until the obstacles change, the environment is replaced or
    //! another robot is asked for.
    [[nodiscard]] std::shared_ptr<const CollisionModel> collision_model(
        const std::shared_ptr<Robot>& robot = nullptr) const;
    //! The contact of least clearance at `joint_position` [rad] of `robot` (empty: the
    //! environment's only robot), against the obstacles and between its own links; empty
    //! when nothing touches. Throws VelmorError for a position that does not fit the robot.
    [[nodiscard]] std::optional<Collision> check_collision(const std::vector<double>& joint_position,
                                                           const std::shared_ptr<Robot>& robot = nullptr) const;
    //! The first contact along `trajectory`, between samples included; empty when there is none.
    [[nodiscard]] std::optional<Collision> check_trajectory(const Trajectory& trajectory,
                                                            const std::shared_ptr<Robot>& robot = nullptr) const;

private:
    //! The plans without options, with the reason when there is no trajectory.
    [[nodiscard]] PlanResult plan_direct(const LowLevelMotion& motion) const;
    [[nodiscard]] PlanResult plan_direct(const Motion& motion, const std::optional<Goal>& start,
                                         const std::optional<Goal>& goal) const;
    [[nodiscard]] PlanResult plan_direct(const LinearMotion& motion, const std::optional<Goal>& start,
                                         const std::optional<Goal>& goal) const;

    //! A copy of the registered motion `name`; throws VelmorError (module "planner") for an unknown name.
    [[nodiscard]] Motion registered_motion(const std::string& name) const;
    //! A copy of the registered straight-line motion `name`, if there is one.
    [[nodiscard]] std::optional<LinearMotion> registered_linear_motion(const std::string& name) const;

    mutable std::mutex motions_mutex;
    std::map<std::string, Motion> motions;
    std::map<std::string, LinearMotion> linear_motions;

    //! The last collision model built and what it was built from.
    struct CollisionCache {
        std::weak_ptr<Environment> environment;
        //! The environment's obstacles_revision() read before its obstacles were.
        std::uint64_t revision {0};
        std::weak_ptr<Robot> robot;
        std::shared_ptr<const CollisionModel> model;
    };
    //! Guards collision_cache; held while a model is built, so that threads checking at
    //! once build it once.
    mutable std::mutex collision_mutex;
    mutable CollisionCache collision_cache;
};

}  // namespace velmor
