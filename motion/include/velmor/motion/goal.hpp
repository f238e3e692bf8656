#pragma once

#include <map>
#include <memory>
#include <variant>
#include <vector>

#include <velmor/motion/cartesian_waypoint.hpp>
#include <velmor/motion/region.hpp>
#include <velmor/motion/waypoint.hpp>

namespace velmor {

class RobotArm;

//! The point of one arm: a joint position, a waypoint or a tool pose.
using ArmPoint = std::variant<std::vector<double>, Waypoint, CartesianWaypoint>;

//! Points per arm of a multi-arm robot; arms without an entry keep their start.
using RobotMap = std::map<std::shared_ptr<RobotArm>, ArmPoint>;

namespace points {
using velmor::RobotMap;
}

//! A point to start from or move to.
using Goal = std::variant<std::vector<double>, Waypoint, CartesianWaypoint, RobotMap>;

//! The goal of a motion, which may also be a region to reach anywhere in.
using MotionGoal = std::variant<std::vector<double>, Waypoint, CartesianWaypoint, RobotMap, Region, CartesianRegion>;

}  // namespace velmor
