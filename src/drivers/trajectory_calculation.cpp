#include <velmor/drivers/driver.hpp>

#include <cstddef>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>

#include <velmor/log/log.hpp>
#include <velmor/motion/motion.hpp>
#include <velmor/motion/plan_options.hpp>
#include <velmor/motion/waypoint.hpp>
#include <velmor/velmor_error.hpp>

namespace velmor::drivers {

namespace {

// Large enough to reach the end of any trajectory; slice clips it.
constexpr std::size_t to_the_end {1000000000};

// Fixed on purpose: a ready trajectory must start where the robot is, whatever
// a concrete driver's path monitoring is set to.
constexpr double start_tolerance {0.1};

void warn(const std::string& message) {
    velmor::log::log_<velmor::log::Level::Warn>("driver", message);
}

// False, with `reason` handed to the caller that asked for it.
bool fail(std::string* failure, std::string reason) {
    if (failure != nullptr) {
        *failure = std::move(reason);
    }
    return false;
}

// The sample at which a blend joins: the first one strictly after `duration`, else the last.
std::size_t joining_sample(const velmor::Trajectory& trajectory, double duration) {
    const auto& times = trajectory.times();
    for (std::size_t k = 0; k < times.size(); ++k) {
        if (times[k] > duration) {
            return k;
        }
    }
    return times.size() - 1;
}

velmor::MotionGoal to_motion_goal(const Goal& goal) {
    return std::visit([](const auto& point) -> velmor::MotionGoal { return point; }, goal);
}

// Runs a planner call whose VelmorError the driver can go on from: it becomes
// a warning and an empty result, as does the planner's reason for finding no
// motion around the obstacles. `failure` gets the error's text or the planner's reason.
template <typename Plan>
std::optional<velmor::Trajectory> plan_or_warn(std::string& failure, Plan&& plan) {
    try {
        velmor::PlanResult result = std::forward<Plan>(plan)();
        if (!result.trajectory && !result.warning.empty()) {
            warn(result.warning);
        }
        failure = std::move(result.reason);
        return std::move(result.trajectory);
    } catch (const VelmorError& error) {
        warn(error.what());
        failure = error.what();
        return std::nullopt;
    }
}

velmor::PlanOptions plan_options(bool ignore_collisions, const std::atomic<bool>* cancel) {
    velmor::PlanOptions options;
    options.ignore_collisions = ignore_collisions;
    options.cancel = cancel;
    return options;
}

// The collision flag of a point or named move; empty for other commands.
std::optional<bool> ignores_collisions(const Command& command) {
    if (const auto* point = std::get_if<PointCommand>(&command)) {
        return point->ignore_collisions;
    }
    if (const auto* named = std::get_if<MotionCommand>(&command)) {
        return named->ignore_collisions;
    }
    return std::nullopt;
}

}  // namespace

bool Driver::calculate_trajectory(const Command& command, velmor::Trajectory& trajectory, const RobotState& state,
                                  const std::atomic<bool>* cancel, std::string* failure) const {
    const velmor::Waypoint start(state.position, state.velocity, state.acceleration);

    if (const auto* ready = std::get_if<TrajectoryCommand>(&command)) {
        velmor::Trajectory copy = ready->trajectory;
        // An empty trajectory starts nowhere; it is refused like one that starts elsewhere.
        bool starts_here {false};
        if (!copy.empty()) {
            velmor::State first = copy.front();
            slice_state_offset(first);
            starts_here = are_positions_within(start.position, first.position, start_tolerance);
        }
        if (!starts_here) {
            const std::string mismatch = "New trajectory does not start from current robot position.";
            warn(mismatch);
            return fail(failure, mismatch);
        }
        trajectory = std::move(copy);
        return true;
    }

    if (!planner) {
        return fail(failure, "The driver has no planner.");
    }

    std::optional<velmor::Trajectory> planned;
    // The planner logs its reasons for the overloads that return no PlanResult; the driver names what failed.
    std::string reason;
    if (const auto* blend = std::get_if<BlendIntoCommand>(&command)) {
        if (blend->trajectory.empty()) {
            warn("Cannot blend into an empty trajectory.");
            return fail(failure, "Cannot blend into an empty trajectory.");
        }
        const velmor::Trajectory copy = blend->trajectory;
        const std::size_t k = joining_sample(copy, blend->duration);
        const velmor::Waypoint joining(copy.positions()[k], copy.velocities()[k], copy.accelerations()[k]);
        planned = planner->plan(velmor::LowLevelMotion(robot, "", start, joining));
        if (planned) {
            planned->append(copy.slice(k, to_the_end));
        }
        reason = "The planner found no motion that joins the trajectory.";
    } else if (const auto* named = std::get_if<MotionCommand>(&command)) {
        planned = plan_or_warn(reason, [&] {
            return planner->plan(named->name, Goal(start), named->goal, plan_options(named->ignore_collisions, cancel));
        });
    } else if (const auto* point = std::get_if<PointCommand>(&command)) {
        const velmor::Motion motion(robot, "", Goal(start), to_motion_goal(point->goal));
        planned = plan_or_warn(reason, [&] {
            return planner->plan(motion, std::nullopt, std::nullopt, plan_options(point->ignore_collisions, cancel));
        });
    } else if (std::holds_alternative<StopCommand>(command)) {
        velmor::LowLevelMotion motion(robot, "", start, velmor::Waypoint(0));
        motion.control_interface = velmor::LowLevelMotion::ControlInterface::Velocity;
        planned = planner->plan(motion);
        reason = "The planner found no motion that comes to rest.";
    }

    if (!planned) {
        return fail(failure, std::move(reason));
    }
    trajectory = std::move(*planned);
    return true;
}

Driver::DirectPlanning Driver::calculate_direct_trajectory(const Command& command, velmor::Trajectory& trajectory,
                                                           const RobotState& state, std::string* failure) const {
    const auto ignore = ignores_collisions(command);
    if (!planner || !ignore || *ignore) {
        return calculate_trajectory(command, trajectory, state, nullptr, failure) ? DirectPlanning::Planned
                                                                                   : DirectPlanning::Failed;
    }
    // Planned as if nothing could collide, then checked: both take well under a cycle.
    Command direct_command = command;
    if (auto* point = std::get_if<PointCommand>(&direct_command)) {
        point->ignore_collisions = true;
    } else {
        std::get<MotionCommand>(direct_command).ignore_collisions = true;
    }
    velmor::Trajectory direct;
    if (!calculate_trajectory(direct_command, direct, state, nullptr, failure)) {
        return DirectPlanning::Failed;
    }
    try {
        if (planner->check_trajectory(direct, robot)) {
            return DirectPlanning::SearchNeeded;
        }
    } catch (const VelmorError& error) {
        warn(error.what());
        fail(failure, error.what());
        return DirectPlanning::Failed;
    }
    trajectory = std::move(direct);
    return DirectPlanning::Planned;
}

}  // namespace velmor::drivers
