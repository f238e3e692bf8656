#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <velmor/motion/robot.hpp>

namespace velmor::mirava_app {

//! URL path under which the page fetches mesh file i of a robot model: "/mesh/i".
inline constexpr const char* mesh_route = "/mesh/";

//! Largest mesh file served [bytes].
inline constexpr std::uintmax_t max_mesh_size = 64 * 1024 * 1024;

//! What a page draws the robot from.
struct RobotModel {
    //! The model as JSON:
    //!
    //!   {"name": ..., "degrees_of_freedom": n,
    //!    "arms": [{"name": ..., "first_joint": i,
    //!              "base": [16 numbers], "tool_offset": [16 numbers],
    //!              "dh": [{"d": [m], "theta": [rad], "a": [m], "alpha": [rad]}, ...],
    //!              "chain": [{"type": "revolute" or "prismatic", "origin": [16 numbers],
    //!                         "axis": [x, y, z], "offset": [16 numbers]}, ...],
    //!              "limits": [{"min": ..., "max": ...}, ...],
    //!              "links": [{"name": ..., "capsules": [{"start": [x, y, z], "end": [...],
    //!                                                     "radius": [m]}, ...]}, ...],
    //!              "visuals": [{"name": ..., "shapes": [{"shape": "box", "size": [x, y, z]} or
    //!                            {"shape": "cylinder", "radius": [m], "length": [m]} or
    //!                            {"shape": "sphere", "radius": [m]} or
    //!                            {"shape": "mesh", "url": "/mesh/i", "scale": [x, y, z]},
    //!                            each with "origin": [16 numbers] and maybe "colour": [r, g, b, a]]}, ...]},
    //!             ...]}
    //!
    //! Frames are homogeneous 4x4 matrices in row-major order [m]. Joint i of an arm, at index
    //! first_joint + i of the robot's joint position, leads from link i to link i + 1 as
    //! origin · (turn about or slide along axis) · offset; "dh" holds the standard
    //! Denavit-Hartenberg parameters of an arm made from them, else nothing. Link 0 is the
    //! arm's base, in the base frame; link i is what joint i moves, its capsules and visual
    //! shapes in the frame after joint i [m]. "visuals" is empty for an arm drawn from its capsules.
    std::string json;
    //! The mesh files the visuals name, mesh i served at mesh_route + i.
    std::vector<std::filesystem::path> meshes;
};

//! The model of every arm of `robot`.
RobotModel robot_model(const std::shared_ptr<Robot>& robot);

}  // namespace velmor::mirava_app
