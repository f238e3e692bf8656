#include "drivers/recording/command_text.hpp"

#include <cstdio>
#include <type_traits>
#include <variant>

#include <velmor/join.hpp>

namespace velmor::drivers::recording {

namespace {

std::string seconds(double value) {
    char text[32];
    std::snprintf(text, sizeof(text), "%.3f s", value);
    return text;
}

std::string trajectory_text(const velmor::Trajectory& trajectory) {
    return std::to_string(trajectory.size()) + " samples, " + seconds(trajectory.duration());
}

std::string goal_text(const Goal& goal) {
    return std::visit(
        [](const auto& point) -> std::string {
            using Point = std::decay_t<decltype(point)>;
            if constexpr (std::is_same_v<Point, std::vector<double>>) {
                return "[" + velmor::join(point, 4) + "]";
            } else if constexpr (std::is_same_v<Point, velmor::Waypoint>) {
                return "Waypoint [" + velmor::join(point.position, 4) + "]";
            } else if constexpr (std::is_same_v<Point, velmor::CartesianWaypoint>) {
                const auto pose = point.frame.to_euler();
                return "CartesianWaypoint [" + velmor::join(std::vector<double>(pose.begin(), pose.end()), 4) + "]";
            } else {
                return "RobotMap of " + std::to_string(point.size()) + " arm" + (point.size() == 1 ? "" : "s");
            }
        },
        goal);
}

std::string collisions_text(bool ignore_collisions) {
    return ignore_collisions ? ", ignoring collisions" : "";
}

}  // namespace

std::string command_kind(const Command& command) {
    return std::visit(
        [](const auto& alternative) -> std::string {
            using Alternative = std::decay_t<decltype(alternative)>;
            if constexpr (std::is_same_v<Alternative, TrajectoryCommand>) {
                return "run";
            } else if constexpr (std::is_same_v<Alternative, PointCommand>) {
                return "move_to";
            } else if constexpr (std::is_same_v<Alternative, MotionCommand>) {
                return "move_along";
            } else if constexpr (std::is_same_v<Alternative, BlendIntoCommand>) {
                return "blend_into";
            } else {
                return "stop";
            }
        },
        command);
}

std::string command_arguments(const Command& command) {
    return std::visit(
        [](const auto& alternative) -> std::string {
            using Alternative = std::decay_t<decltype(alternative)>;
            if constexpr (std::is_same_v<Alternative, TrajectoryCommand>) {
                return trajectory_text(alternative.trajectory);
            } else if constexpr (std::is_same_v<Alternative, PointCommand>) {
                return goal_text(alternative.goal) + collisions_text(alternative.ignore_collisions);
            } else if constexpr (std::is_same_v<Alternative, MotionCommand>) {
                return "'" + alternative.name + "'" + (alternative.goal ? " to " + goal_text(*alternative.goal) : "") +
                       collisions_text(alternative.ignore_collisions);
            } else if constexpr (std::is_same_v<Alternative, BlendIntoCommand>) {
                return trajectory_text(alternative.trajectory) + ", joining at " + seconds(alternative.duration);
            } else {
                return alternative.fast_stop ? "fast" : "normal";
            }
        },
        command);
}

}  // namespace velmor::drivers::recording
