#pragma once

#include <memory>

#include <velmor/motion/environment.hpp>
#include <velmor/motion/robot.hpp>

namespace velmor::planning {

//! `robot` when given, else the environment's only robot; throws VelmorError (module
//! "planner") when there is no robot given and the environment does not hold exactly one.
std::shared_ptr<Robot> choose_robot(const std::shared_ptr<Robot>& robot, const std::shared_ptr<Environment>& environment);

}  // namespace velmor::planning
