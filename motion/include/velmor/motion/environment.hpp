#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include <velmor/motion/robot.hpp>

namespace velmor {

//! The robots of a cell, keyed by name.
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

private:
    std::map<std::string, std::shared_ptr<Robot>> robots;
};

}  // namespace velmor
