#include <velmor/motion/environment.hpp>

#include <velmor/common/velmor_error.hpp>
#include <velmor/motion/scene_json.hpp>

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
    const std::lock_guard lock(mutex);
    robots[name] = std::move(robot);
}

std::shared_ptr<Robot> Environment::get_robot(const std::string& name) const {
    const std::lock_guard lock(mutex);
    const auto found = robots.find(name);
    if (found == robots.end()) {
        throw VelmorError("environment", "The environment holds no robot \"" + name + "\".");
    }
    return found->second;
}

std::vector<std::shared_ptr<Robot>> Environment::get_robots() const {
    std::vector<std::shared_ptr<Robot>> result;
    const std::lock_guard lock(mutex);
    result.reserve(robots.size());
    for (const auto& [name, robot] : robots) {
        result.push_back(robot);
    }
    return result;
}

void Environment::add_obstacle(const std::string& name, const Shape& shape) {
    if (name.empty()) {
        throw VelmorError("environment", "An obstacle needs a name.");
    }
    check_shape(shape);
    const std::lock_guard lock(mutex);
    obstacles_.insert_or_assign(name, shape);
    ++revision;
}

void Environment::remove_obstacle(const std::string& name) {
    const std::lock_guard lock(mutex);
    if (obstacles_.erase(name) == 0) {
        throw VelmorError("environment", "The environment holds no obstacle \"" + name + "\".");
    }
    ++revision;
}

std::map<std::string, Shape> Environment::obstacles() const {
    const std::lock_guard lock(mutex);
    return obstacles_;
}

void Environment::load_scene(const std::string& path) {
    std::map<std::string, Shape> loaded = load_scene_file(path);
    const std::lock_guard lock(mutex);
    obstacles_ = std::move(loaded);
    ++revision;
}

void Environment::save_scene(const std::string& path) const {
    save_scene_file(obstacles(), path);
}

}  // namespace velmor
