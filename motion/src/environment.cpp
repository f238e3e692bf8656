#include <velmor/motion/environment.hpp>

#include <velmor/common/velmor_error.hpp>

namespace velmor {

Environment::Environment(std::shared_ptr<Robot> robot) {
    if (!robot) {
        throw VelmorError("environment", "Cannot build an environment from an empty robot.");
    }
    const std::string name = robot->name;
    add_robot(name, std::move(robot));
}

void Environment::add_robot(const std::string& name, std::shared_ptr<Robot> robot) {
    if (!robot) {
        throw VelmorError("environment", "Cannot add an empty robot as \"" + name + "\".");
    }
    robots[name] = std::move(robot);
}

std::shared_ptr<Robot> Environment::get_robot(const std::string& name) const {
    const auto found = robots.find(name);
    if (found == robots.end()) {
        throw VelmorError("environment", "The environment holds no robot \"" + name + "\".");
    }
    return found->second;
}

std::vector<std::shared_ptr<Robot>> Environment::get_robots() const {
    std::vector<std::shared_ptr<Robot>> result;
    result.reserve(robots.size());
    for (const auto& [name, robot] : robots) {
        result.push_back(robot);
    }
    return result;
}

}  // namespace velmor
