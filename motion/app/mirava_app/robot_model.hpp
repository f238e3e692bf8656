#pragma once

#include <memory>
#include <string>

#include <velmor/motion/robot.hpp>

namespace velmor::mirava_app {

//! The kinematic model a page draws the robot from, as JSON:
//!
//!   {"name": ..., "degrees_of_freedom": n,
//!    "arms": [{"name": ..., "first_joint": i,
//!              "base": [16 numbers], "tool_offset": [16 numbers],
//!              "dh": [{"d": [m], "theta": [rad], "a": [m], "alpha": [rad]}, ...],
//!              "limits": [{"min": ..., "max": ...}, ...],
//!              "links": [{"name": ..., "capsules": [{"start": [x, y, z], "end": [...],
//!                                                     "radius": [m]}, ...]}, ...]}, ...]}
//!
//! Frames are homogeneous 4x4 matrices in row-major order [m]; joints follow the
//! standard Denavit-Hartenberg convention, joint i of an arm at index first_joint + i
//! of the robot's joint position. Link 0 is the arm's base, in the base frame; link i
//! is what joint i moves, its capsules in the frame after joint i [m].
std::string robot_model_json(const std::shared_ptr<Robot>& robot);

}  // namespace velmor::mirava_app
