#include "planning/goal_resolution.hpp"

#include <algorithm>
#include <cmath>
#include <string>

#include <velmor/motion/robot_arm.hpp>
#include <velmor/common/velmor_error.hpp>

#include "planning/brake.hpp"
#include "planning/plan_guards.hpp"
#include "reach.hpp"

namespace velmor::planning {

namespace {

const std::string cartesian_point {"A Cartesian point"};
const std::string per_arm {", so give a point per arm in a RobotMap"};

void check_size(std::size_t size, std::size_t dof, const std::string& what) {
    if (size != dof) {
        refuse_plan("The " + what + " has " + std::to_string(size) + " entries but the robot has " + std::to_string(dof) +
               " joints.");
    }
}

// Overloads the one for frames, which the header declares.
using planning::check_finite;

void check_finite(const std::vector<double>& values, const std::string& what) {
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (!std::isfinite(values[i])) {
            refuse_plan("The " + what + " of joint " + std::to_string(i) + " is not a finite number.");
        }
    }
}

std::vector<JointState> at_rest(const std::vector<double>& position) {
    std::vector<JointState> result;
    result.reserve(position.size());
    for (const double p : position) {
        result.push_back(JointState {p, 0.0, 0.0});
    }
    return result;
}

struct ArmSlot {
    std::shared_ptr<RobotArm> arm;
    std::size_t offset;
};

std::vector<ArmSlot> arms_of(const std::shared_ptr<Robot>& robot) {
    std::vector<ArmSlot> result;
    std::size_t offset = 0;
    for (auto arm = robot->get_next_arm(nullptr); arm; arm = robot->get_next_arm(arm)) {
        result.push_back(ArmSlot {arm, offset});
        offset += arm->get_degrees_of_freedom();
    }
    return result;
}

//! Seed for inverse kinematics when neither a reference nor a start is known.
std::vector<double> middle_of_ranges(const RobotArm& arm) {
    std::vector<double> result;
    for (const JointLimits& l : arm.get_joint_limits()) {
        result.push_back(std::clamp(0.0, l.min_position, l.max_position));
    }
    return result;
}

std::optional<std::vector<JointState>> solve(const RobotArm& arm, const Frame& frame,
                                             const std::optional<std::vector<double>>& reference,
                                             const std::vector<double>& fallback_seed, std::string& unreachable) {
    check_finite(frame, "tool pose");
    if (reference) {
        check_size(reference->size(), arm.get_degrees_of_freedom(), "reference configuration");
        check_finite(*reference, "reference configuration");
    }
    const auto solution = arm.inverse_kinematics(frame, reference.value_or(fallback_seed));
    if (!solution) {
        unreachable = unreachable_pose(arm, frame);
        return std::nullopt;
    }
    return at_rest(*solution);
}

//! One arm's point; `seed` is the arm's start, or empty when there is none.
std::optional<std::vector<JointState>> resolve_arm_point(const RobotArm& arm, const ArmPoint& point,
                                                         const std::vector<double>& seed, std::string& unreachable) {
    const std::size_t dof = arm.get_degrees_of_freedom();
    if (const auto* position = std::get_if<std::vector<double>>(&point)) {
        check_size(position->size(), dof, "joint position");
        check_finite(*position, "joint position");
        return at_rest(*position);
    }
    if (const auto* waypoint = std::get_if<Waypoint>(&point)) {
        return to_states(*waypoint, dof, "waypoint");
    }
    const auto& cartesian = std::get<CartesianWaypoint>(point);
    return solve(arm, cartesian.frame, cartesian.reference_config, seed.empty() ? middle_of_ranges(arm) : seed,
                 unreachable);
}

//! A RobotMap's joint states; arms without an entry take `keep` (their start), or
//! are refused when there is no start.
std::optional<std::vector<JointState>> resolve_map(const std::shared_ptr<Robot>& robot, const RobotMap& map,
                                                   const std::vector<JointState>* keep, std::string& unreachable) {
    const std::vector<ArmSlot> arms = arms_of(robot);
    for (const auto& [arm, point] : map) {
        const bool known = std::any_of(arms.begin(), arms.end(), [&](const ArmSlot& s) { return s.arm == arm; });
        if (!known) {
            refuse_plan("The RobotMap names an arm that is not part of robot \"" + robot->name + "\".");
        }
    }
    std::vector<JointState> result(robot->get_degrees_of_freedom());
    for (const ArmSlot& slot : arms) {
        const std::size_t dof = slot.arm->get_degrees_of_freedom();
        const auto begin = static_cast<std::ptrdiff_t>(slot.offset);
        const auto end = static_cast<std::ptrdiff_t>(slot.offset + dof);
        const auto entry = map.find(slot.arm);
        if (entry == map.end()) {
            if (keep == nullptr) {
                refuse_plan("The RobotMap gives no point for arm " + std::to_string(&slot - arms.data()) +
                       " of robot \"" + robot->name + "\", and there is no start to keep it at.");
            }
            for (std::size_t i = slot.offset; i < slot.offset + dof; ++i) {
                result[i] = JointState {(*keep)[i].position, 0.0, 0.0};
            }
            continue;
        }
        std::vector<double> seed;
        if (keep != nullptr) {
            seed = positions(std::vector<JointState>(keep->begin() + begin, keep->begin() + end));
        }
        const auto states = resolve_arm_point(*slot.arm, entry->second, seed, unreachable);
        if (!states) {
            return std::nullopt;
        }
        std::copy(states->begin(), states->end(), result.begin() + begin);
    }
    return result;
}

std::vector<JointState> clamp_into(const Region& region, const std::vector<JointState>& start) {
    check_size(region.min_position.size(), start.size(), "region's lower bound");
    check_size(region.max_position.size(), start.size(), "region's upper bound");
    std::vector<JointState> result;
    for (std::size_t i = 0; i < start.size(); ++i) {
        if (std::isnan(region.min_position[i]) || std::isnan(region.max_position[i])) {
            refuse_plan("The region's bounds of joint " + std::to_string(i) + " are not numbers.");
        }
        if (!(region.min_position[i] <= region.max_position[i])) {
            refuse_plan("The region's bounds of joint " + std::to_string(i) + " are reversed.");
        }
        result.push_back(
            JointState {std::clamp(start[i].position, region.min_position[i], region.max_position[i]), 0.0, 0.0});
    }
    return result;
}

std::optional<std::vector<JointState>> reach_region(const std::shared_ptr<Robot>& robot, const CartesianRegion& region,
                                                    const std::vector<JointState>& start, std::string& unreachable) {
    const std::shared_ptr<RobotArm> arm = single_arm(robot, cartesian_point, per_arm);
    check_finite(region.frame, "region's tool pose");
    if (std::isnan(region.position_tolerance) || std::isnan(region.orientation_tolerance)) {
        refuse_plan("The region's tolerances are not numbers.");
    }
    const std::vector<double> here = positions(start);
    const Frame tcp = arm->calculate_tcp(here);
    const double distance = (tcp.translation() - region.frame.translation()).norm();
    const double angle = Eigen::AngleAxisd(region.frame.rotation() * tcp.rotation().transpose()).angle();
    if (distance <= region.position_tolerance && angle <= region.orientation_tolerance) {
        return at_rest(here);
    }
    return solve(*arm, region.frame, region.reference_config, here, unreachable);
}

}  // namespace

void check_finite(const Frame& frame, const std::string& what) {
    if (!frame.transform.matrix().allFinite()) {
        refuse_plan("The " + what + " holds numbers that are not finite.");
    }
}

std::shared_ptr<RobotArm> single_arm(const std::shared_ptr<Robot>& robot, const std::string& needing,
                                     const std::string& advice) {
    const std::vector<ArmSlot> arms = arms_of(robot);
    if (arms.size() != 1 || arms.front().arm->get_degrees_of_freedom() != robot->get_degrees_of_freedom()) {
        refuse_plan(needing + " needs a robot of one arm; robot \"" + robot->name + "\" has " +
               std::to_string(arms.size()) + " arms" + advice + ".");
    }
    return arms.front().arm;
}

std::vector<JointState> to_states(const Waypoint& point, std::size_t dof, const char* what) {
    check_size(point.position.size(), dof, std::string(what) + "'s position");
    if (!point.velocity.empty()) {
        check_size(point.velocity.size(), dof, std::string(what) + "'s velocity");
    }
    if (!point.acceleration.empty()) {
        check_size(point.acceleration.size(), dof, std::string(what) + "'s acceleration");
    }
    check_finite(point.position, std::string(what) + "'s position");
    check_finite(point.velocity, std::string(what) + "'s velocity");
    check_finite(point.acceleration, std::string(what) + "'s acceleration");
    std::vector<JointState> result(dof);
    for (std::size_t i = 0; i < dof; ++i) {
        result[i].position = point.position[i];
        result[i].velocity = point.velocity.empty() ? 0.0 : point.velocity[i];
        result[i].acceleration = point.acceleration.empty() ? 0.0 : point.acceleration[i];
    }
    return result;
}

std::optional<std::vector<JointState>> resolve_start(const std::shared_ptr<Robot>& robot, const Goal& start,
                                                     std::string& unreachable) {
    const std::size_t dof = robot->get_degrees_of_freedom();
    if (const auto* position = std::get_if<std::vector<double>>(&start)) {
        check_size(position->size(), dof, "start position");
        check_finite(*position, "start position");
        return at_rest(*position);
    }
    if (const auto* waypoint = std::get_if<Waypoint>(&start)) {
        return to_states(*waypoint, dof, "start");
    }
    if (const auto* cartesian = std::get_if<CartesianWaypoint>(&start)) {
        const auto arm = single_arm(robot, cartesian_point, per_arm);
        return solve(*arm, cartesian->frame, cartesian->reference_config, middle_of_ranges(*arm), unreachable);
    }
    return resolve_map(robot, std::get<RobotMap>(start), nullptr, unreachable);
}

std::optional<std::vector<JointState>> resolve_goal(const std::shared_ptr<Robot>& robot, const MotionGoal& goal,
                                                    const std::vector<JointState>& start, std::string& unreachable) {
    const std::size_t dof = robot->get_degrees_of_freedom();
    if (const auto* position = std::get_if<std::vector<double>>(&goal)) {
        check_size(position->size(), dof, "goal position");
        check_finite(*position, "goal position");
        return at_rest(*position);
    }
    if (const auto* waypoint = std::get_if<Waypoint>(&goal)) {
        return to_states(*waypoint, dof, "goal");
    }
    if (const auto* cartesian = std::get_if<CartesianWaypoint>(&goal)) {
        return solve(*single_arm(robot, cartesian_point, per_arm), cartesian->frame, cartesian->reference_config,
                     positions(start), unreachable);
    }
    if (const auto* map = std::get_if<RobotMap>(&goal)) {
        return resolve_map(robot, *map, &start, unreachable);
    }
    if (const auto* region = std::get_if<Region>(&goal)) {
        return clamp_into(*region, start);
    }
    return reach_region(robot, std::get<CartesianRegion>(goal), start, unreachable);
}

std::string beyond_limits(const std::vector<JointState>& goal, const std::vector<JointLimits>& limits) {
    // Goals taken from planned trajectories may touch a limit up to rounding.
    constexpr double slack = 1.0 + 1e-12;
    for (std::size_t i = 0; i < goal.size(); ++i) {
        const JointLimits& l = limits[i];
        const JointState& g = goal[i];
        const std::string joint = "Joint " + std::to_string(i) + "'s goal ";
        if (!(g.position >= l.min_position && g.position <= l.max_position)) {
            const bool below = !(g.position >= l.min_position);
            return joint + amount(g.position, "rad") + " is beyond its " + (below ? "lower" : "upper") + " limit " +
                   amount(below ? l.min_position : l.max_position, "rad") + ".";
        }
        if (!(std::abs(g.velocity) <= l.max_velocity * slack)) {
            return joint + "velocity " + amount(g.velocity, "rad/s") + " is beyond its limit " +
                   amount(l.max_velocity, "rad/s") + ".";
        }
        if (!(std::abs(g.acceleration) <= l.max_acceleration * slack)) {
            return joint + "acceleration " + amount(g.acceleration, "rad/s^2") + " is beyond its limit " +
                   amount(l.max_acceleration, "rad/s^2") + ".";
        }
        if (!can_arrive_inside(g, l)) {
            return joint + amount(g.position, "rad") + " at " + amount(g.velocity, "rad/s") +
                   " cannot be reached without passing its limits " + amount(l.min_position, "rad") + " to " +
                   amount(l.max_position, "rad") + ".";
        }
    }
    return {};
}

}  // namespace velmor::planning
