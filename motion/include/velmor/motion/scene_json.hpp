#pragma once

#include <map>
#include <string>

#include <velmor/motion/shapes.hpp>

namespace velmor {

//! Obstacles as one JSON object, the form of a scene file:
//!
//!   {"obstacles": [
//!     {"name": "table", "shape": "box", "size": [1.2, 0.8, 0.05], "frame": [0.6, 0, -0.025, 0, 0, 0]},
//!     {"name": "ball", "shape": "sphere", "radius": 0.1, "frame": [...]},
//!     {"name": "post", "shape": "cylinder", "radius": 0.05, "length": 0.6, "frame": [...]}]}
//!
//! "frame" is the pose of the shape's centre: x, y, z [m] and the angles a, b, c [rad]
//! of Frame::from_euler; it may be left out for the identity. Lengths are in metres.
//! Throws VelmorError (module "scene") for an obstacle that cannot be written (a shape
//! whose values are not finite).
[[nodiscard]] std::string scene_to_json(const std::map<std::string, Shape>& obstacles);

//! The obstacles of the JSON object that scene_to_json writes. Keys besides "obstacles"
//! are ignored at the top level and refused inside an obstacle. Throws VelmorError
//! (module "scene", naming the obstacle) for malformed JSON, a missing, mistyped or
//! unknown key, an unknown shape, a duplicate or empty name, or an invalid dimension.
[[nodiscard]] std::map<std::string, Shape> scene_from_json(const std::string& text);

//! Writes scene_to_json(obstacles) to the file `path`, replacing it; throws
//! VelmorError (module "scene") when the file cannot be written.
void save_scene_file(const std::map<std::string, Shape>& obstacles, const std::string& path);

//! The obstacles of the scene file `path`; throws VelmorError (module "scene") when
//! the file cannot be read or holds no valid scene.
[[nodiscard]] std::map<std::string, Shape> load_scene_file(const std::string& path);

}  // namespace velmor
