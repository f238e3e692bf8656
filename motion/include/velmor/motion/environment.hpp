#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <velmor/motion/robot.hpp>
#include <velmor/motion/shapes.hpp>

namespace velmor {

//! The robots of a cell, keyed by name, and the obstacles around them.
//! Every member may be called from several threads at once: a planner may read
//! the obstacles while a script adds one.
class Environment {
public:
    Environment() = default;
    //! An environment holding `robot` under its model name.
    explicit Environment(std::shared_ptr<Robot> robot);

    //! Adds `robot` under `name`, replacing a robot of the same name.
    void add_robot(const std::string& name, std::shared_ptr<Robot> robot);
    //! The robot of that name; throws VelmorError (module "environment") when absent.
    [[nodiscard]] std::shared_ptr<Robot> get_robot(const std::string& name) const;
    //! Every robot, in ascending order of their names.
    [[nodiscard]] std::vector<std::shared_ptr<Robot>> get_robots() const;

    //! Adds the obstacle `name`, replacing one of the same name. Throws VelmorError
    //! (module "environment") for an empty name, or (module "shapes") for an invalid shape.
    void add_obstacle(const std::string& name, const Shape& shape);
    //! Removes the obstacle `name`; throws VelmorError (module "environment") when there is none.
    void remove_obstacle(const std::string& name);
    //! A copy of every obstacle, keyed by name.
    [[nodiscard]] std::map<std::string, Shape> obstacles() const;
    //! Rises with every change of the obstacles, so that a watcher can tell when to look again.
    [[nodiscard]] std::uint64_t obstacles_revision() const { return revision.load(); }

    //! Replaces every obstacle by those of the scene file `path` (see scene_json.hpp).
    //! Throws VelmorError (module "scene") when the file cannot be read or is not a
    //! valid scene; the obstacles are then left as they were.
    void load_scene(const std::string& path);
    //! Writes the obstacles to the scene file `path`, replacing it; throws VelmorError
    //! (module "scene") when the file cannot be written.
    void save_scene(const std::string& path) const;

private:
    mutable std::mutex mutex;
    std::map<std::string, std::shared_ptr<Robot>> robots;
    std::map<std::string, Shape> obstacles_;
    std::atomic<std::uint64_t> revision {0};
};

}  // namespace velmor
