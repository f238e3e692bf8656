#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <urdf_model/link.h>

#include <velmor/motion/frame.hpp>
#include <velmor/motion/link_geometry.hpp>

namespace velmor::urdf_reading {

//! Where the mesh files of a robot description are found, and the robot's name for messages.
struct MeshFiles {
    std::string robot;
    //! The description's folder; none for a description given as text.
    std::optional<std::filesystem::path> folder;
    std::map<std::string, std::filesystem::path> package_paths;
};

//! Capsules for the <collision> shapes of `link`, in a frame that lies at `placement` in
//! the link's own frame: a sphere exactly; a cylinder by its axis and radius, and a box by
//! its longest axis and the half diagonal across it, the caps ending where the shape ends
//! along that axis (so the rims' corners stick out a little, and two shapes that meet end
//! to end, as links at a joint do, do not overlap). A mesh (STL) is read from `files` and
//! collides as its oriented bounding box, with an info line saying so.
[[nodiscard]] std::vector<Capsule> collision_capsules(const urdf::Link& link, const Frame& placement,
                                                      const MeshFiles& files);

}  // namespace velmor::urdf_reading
