#include "planning/robot_choice.hpp"

#include <string>

#include <velmor/common/velmor_error.hpp>

namespace velmor::planning {

std::shared_ptr<Robot> choose_robot(const std::shared_ptr<Robot>& robot, const std::shared_ptr<Environment>& environment) {
    if (robot) {
        return robot;
    }
    const auto robots = environment ? environment->get_robots() : std::vector<std::shared_ptr<Robot>> {};
    if (robots.size() != 1) {
        throw VelmorError("planner", "The motion names no robot and the environment holds " +
                                         std::to_string(robots.size()) + " robots instead of exactly one.");
    }
    return robots.front();
}

}  // namespace velmor::planning
