#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include <urdf_model/link.h>

#include <velmor/motion/frame.hpp>
#include <velmor/motion/link_visual.hpp>

namespace velmor::urdf_reading {

//! Adds to `visual` the <visual> boxes, cylinders, spheres and meshes of `link`, which lies
//! at `placement` in the frame of the arm link that `visual` describes; a link without a
//! <visual> is drawn from its <collision> shapes instead. Mesh files resolve as
//! resolve_file_reference does, inside `folder` or a package path. The name of `visual`
//! becomes the link's when it has none yet.
void add_visual_shapes(const urdf::Link& link, const Frame& placement, const std::optional<std::filesystem::path>& folder,
                       const std::map<std::string, std::filesystem::path>& package_paths, LinkVisual& visual);

}  // namespace velmor::urdf_reading
