#include "safety_check.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <iterator>
#include <limits>

#include <velmor/motion/robot_arm.hpp>

namespace velmor::drivers {

namespace {

// Planned motions reach their limits exactly; rounding of the interpolation
// between samples must not count as a violation.
constexpr double position_slack {1e-9};  // [rad] or [m]
constexpr double velocity_slack {1e-9};  // relative

std::string joint_text(std::size_t joint) {
    return "Joint " + std::to_string(joint);
}

std::optional<std::string> find_workspace_violation(const velmor::Box& workspace, velmor::Robot& robot,
                                                    const std::vector<double>& position) {
    std::size_t first_joint = 0;
    for (auto arm = robot.get_next_arm(); arm; arm = robot.get_next_arm(arm)) {
        const std::size_t dof = arm->get_degrees_of_freedom();
        if (first_joint + dof > position.size()) {
            break;
        }
        // A robot of one arm, the common case, is checked without copying its position.
        const velmor::Frame tcp =
            dof == position.size()
                ? arm->calculate_tcp(position)
                : arm->calculate_tcp(std::vector<double>(std::next(position.begin(), static_cast<std::ptrdiff_t>(first_joint)),
                                                         std::next(position.begin(), static_cast<std::ptrdiff_t>(first_joint + dof))));
        const Eigen::Vector3d point = tcp.translation();
        // Written so that a point that is not a number is outside too.
        if (!point.allFinite() || !workspace.contains(point)) {
            return "The tool centre point of arm " + arm->name + " at (" + std::to_string(point.x()) + ", " +
                   std::to_string(point.y()) + ", " + std::to_string(point.z()) + ") left the workspace.";
        }
        first_joint += dof;
    }
    return std::nullopt;
}

// The distance [m] of `point` from the box, 0 inside it or on its surface.
double distance_from(const velmor::Box& box, const Eigen::Vector3d& point) {
    const Eigen::Vector3d local = box.frame.transform.inverse() * point;
    Eigen::Vector3d outside = Eigen::Vector3d::Zero();
    for (int axis = 0; axis < 3; ++axis) {
        outside[axis] = std::max(0.0, std::abs(local[axis]) - box.size[static_cast<std::size_t>(axis)] / 2.0);
    }
    const double distance = outside.norm();
    return std::isnan(distance) ? std::numeric_limits<double>::infinity() : distance;
}

// Beyond `limit` by how much, 0 within it; infinite for NaN.
double beyond(double value, double limit) {
    return std::isnan(value) ? std::numeric_limits<double>::infinity() : std::max(0.0, value - limit);
}

}  // namespace

void measure_excess(const SafetyLimits& limits, const std::vector<velmor::JointLimits>& joints, velmor::Robot& robot,
                    const std::vector<double>& position, const std::vector<double>& velocity,
                    std::vector<double>& excess) {
    const std::size_t count = joints.size();
    excess.assign(2 * count, 0.0);
    for (std::size_t j = 0; j < count; ++j) {
        if (limits.joint_position && j < position.size()) {
            excess[j] = std::max(beyond(position[j], joints[j].max_position + position_slack),
                                 beyond(-position[j], -(joints[j].min_position - position_slack)));
        }
        if (limits.joint_velocity && j < velocity.size()) {
            excess[count + j] = beyond(std::abs(velocity[j]), joints[j].max_velocity * (1.0 + velocity_slack));
        }
    }
    if (!limits.workspace) {
        return;
    }
    std::size_t first_joint = 0;
    for (auto arm = robot.get_next_arm(); arm; arm = robot.get_next_arm(arm)) {
        const std::size_t dof = arm->get_degrees_of_freedom();
        if (first_joint + dof > position.size()) {
            break;
        }
        const std::vector<double> joints_of_arm(std::next(position.begin(), static_cast<std::ptrdiff_t>(first_joint)),
                                                std::next(position.begin(), static_cast<std::ptrdiff_t>(first_joint + dof)));
        excess.push_back(distance_from(*limits.workspace, arm->calculate_tcp(joints_of_arm).translation()));
        first_joint += dof;
    }
}

std::optional<std::string> find_safety_violation(const SafetyLimits& limits, const std::vector<velmor::JointLimits>& joints,
                                                 velmor::Robot& robot, const std::vector<double>& position,
                                                 const std::vector<double>& velocity) {
    const std::size_t count = joints.size();
    if (limits.joint_position) {
        for (std::size_t j = 0; j < count && j < position.size(); ++j) {
            const double p = position[j];
            // Written so that a position that is not a number breaks the limit too.
            if (!(p >= joints[j].min_position - position_slack && p <= joints[j].max_position + position_slack)) {
                return joint_text(j) + " at " + std::to_string(p) + " left its position range [" +
                       std::to_string(joints[j].min_position) + ", " + std::to_string(joints[j].max_position) + "].";
            }
        }
    }
    if (limits.joint_velocity) {
        for (std::size_t j = 0; j < count && j < velocity.size(); ++j) {
            const double v = velocity[j];
            if (!(std::abs(v) <= joints[j].max_velocity * (1.0 + velocity_slack))) {
                return joint_text(j) + " moves at " + std::to_string(v) + " beyond its velocity limit " +
                       std::to_string(joints[j].max_velocity) + ".";
            }
        }
    }
    if (limits.workspace) {
        return find_workspace_violation(*limits.workspace, robot, position);
    }
    return std::nullopt;
}

}  // namespace velmor::drivers
