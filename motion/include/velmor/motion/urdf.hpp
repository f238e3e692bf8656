#pragma once

#include <cstddef>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <velmor/motion/frame.hpp>
#include <velmor/motion/robot_arm.hpp>

namespace velmor::robots {

//! Largest robot description from_urdf reads, file or text [bytes].
inline constexpr std::size_t max_urdf_size = 8 * 1024 * 1024;

//! Acceleration and jerk limits from_urdf derives from a joint's velocity limit v when
//! none are given: full speed within a quarter of a second, so acceleration 4·v per
//! second and jerk 16·v per second squared.
inline constexpr double default_acceleration_per_velocity = 4.0;  // [1/s]
inline constexpr double default_jerk_per_velocity = 16.0;         // [1/s²]

//! What from_urdf reads from a robot description besides the text itself.
struct UrdfOptions {
    //! The link the arm starts at; the description's root link when empty.
    std::optional<std::string> base_link;
    //! The link the arm ends at (its flange); the single leaf below the base when empty.
    std::optional<std::string> tip_link;
    //! Folder of each package that "package://NAME/..." file references may name.
    std::map<std::string, std::filesystem::path> package_paths;
    //! One value for every joint, one per joint, or none for the default above [rad/s²] or [m/s²].
    std::vector<double> max_acceleration;
    //! One value for every joint, one per joint, or none for the default above [rad/s³] or [m/s³].
    std::vector<double> max_jerk;
    //! Pose of the base link in the world.
    Frame base;
    //! Pose of the tool centre point relative to the tip link.
    Frame tool_offset;
    //! Pairs of link names never checked against each other for self-collision, besides
    //! neighbouring links (which never are): parts that touch by design.
    std::vector<std::pair<std::string, std::string>> disabled_collisions {};
};

//! The serial arm from the base link to the tip link of a robot description (URDF), given
//! as a file path or as its XML text (anything starting with "<"). Revolute, continuous
//! (unbounded positions), prismatic and fixed joints; position and velocity limits from
//! each joint's <limit>; link geometry from the <collision> spheres, cylinders, boxes and
//! STL meshes (by their oriented bounding box) of the links on the path, as capsules; how
//! each link looks from its <visual> shapes (RobotArm::get_link_visuals). File
//! references of meshes must resolve inside the description's folder or a package path. Throws VelmorError (module "urdf") naming what is wrong.
[[nodiscard]] std::shared_ptr<RobotArm> from_urdf(const std::string& path_or_xml, const UrdfOptions& options = {});

}  // namespace velmor::robots
