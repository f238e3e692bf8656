#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include <velmor/motion/environment.hpp>
#include <velmor/motion/goal.hpp>
#include <velmor/motion/motion.hpp>
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

    //! Plans a low-level motion; empty when no trajectory exists.
    [[nodiscard]] std::optional<Trajectory> plan(const LowLevelMotion& motion) const;
    //! Plans the registered motion `name`, with `start` and `goal` overriding its own.
    //! Throws VelmorError (module "planner") for an unknown name.
    [[nodiscard]] std::optional<Trajectory> plan(const std::string& name, const std::optional<Goal>& start = std::nullopt,
                                                 const std::optional<Goal>& goal = std::nullopt) const;
    //! Plans `motion`, with `start` and `goal` overriding its own.
    [[nodiscard]] std::optional<Trajectory> plan(const Motion& motion, const std::optional<Goal>& start = std::nullopt,
                                                 const std::optional<Goal>& goal = std::nullopt) const;

private:
    mutable std::mutex motions_mutex;
    std::map<std::string, Motion> motions;
};

}  // namespace velmor
