#include "planning/collision_free.hpp"

#include <algorithm>
#include <cstdio>

#include "planning/path_search.hpp"
#include "planning/plan_guards.hpp"
#include "planning/straight_path.hpp"

namespace velmor::planning {

namespace {

bool at_rest(const std::vector<double>& velocity, const std::vector<double>& acceleration) {
    const auto zero = [](double value) { return value == 0.0; };
    return std::all_of(velocity.begin(), velocity.end(), zero) &&
           std::all_of(acceleration.begin(), acceleration.end(), zero);
}

PlanResult refusal(std::string warning, const std::optional<Collision>& blocking, std::size_t iterations = 0) {
    PlanResult result = decline(warning);
    result.warning = std::move(warning);
    result.blocking = blocking;
    result.iterations = iterations;
    return result;
}

}  // namespace

std::string seconds(double time) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f s", time);
    return text;
}

PlanResult go_around(const Planner& planner, const std::shared_ptr<Robot>& robot, const CollisionModel& model,
                     Trajectory direct, const PlanOptions& options) {
    const auto met = model.check(direct);
    if (!met) {
        PlanResult result;
        result.trajectory = std::move(direct);
        return result;
    }
    const State start = direct.front();
    const State goal = direct.back();
    if (met->time == 0.0) {
        return refusal("The start is in collision: " + met->describe() + ".", met);
    }
    if (const auto touching = model.check(goal.position)) {
        return refusal("The goal is in collision: " + touching->describe() + ".", touching);
    }
    const std::string meets = "the direct motion meets " + met->describe() + " after " + seconds(met->time);
    if (!at_rest(goal.velocity, goal.acceleration)) {
        return refusal("No collision-free motion: " + meets + ", and a way around ends at rest, not in a moving goal.",
                       met);
    }
    Trajectory head;
    std::vector<double> from = start.position;
    if (!at_rest(start.velocity, start.acceleration)) {
        LowLevelMotion stop(robot, direct.motion, Waypoint(start.position, start.velocity, start.acceleration),
                            Waypoint(0));
        stop.control_interface = LowLevelMotion::ControlInterface::Velocity;
        auto stopping = planner.plan(stop);
        if (!stopping) {
            return refusal("No collision-free motion: " + meets + ", and the robot cannot stop first.", met);
        }
        if (const auto hit = model.check(*stopping)) {
            return refusal("No collision-free motion: stopping first meets " + hit->describe() + " after " +
                               seconds(hit->time) + ".",
                           hit);
        }
        head = std::move(*stopping);
        from = head.back().position;
    }
    const SearchOutcome found = search_path(model, from, goal.position, robot->get_joint_limits(), options.seed,
                                            options.max_iterations, options.cancel);
    if (found.path.empty()) {
        return refusal("No collision-free motion found in " + std::to_string(found.iterations) + " iterations: " +
                           meets + ".",
                       met, found.iterations);
    }
    auto legs = along_straight_legs(found.path, robot->get_joint_limits(), planner.delta_time);
    if (!legs) {
        return refusal("No collision-free motion: " + meets +
                           ", and the way around would last longer than an hour or a million samples.",
                       met, found.iterations);
    }
    head.append(*legs);
    head.motion = direct.motion;
    head.id = direct.id;
    PlanResult result;
    result.trajectory = std::move(head);
    result.iterations = found.iterations;
    return result;
}

}  // namespace velmor::planning
