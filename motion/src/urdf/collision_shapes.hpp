#pragma once

#include <optional>
#include <vector>

#include <urdf_model/link.h>

#include <velmor/motion/frame.hpp>
#include <velmor/motion/link_geometry.hpp>

namespace velmor::urdf_reading {

//! Capsules for the <collision> boxes, cylinders and spheres of `link`, in a frame that
//! lies at `placement` in the link's own frame: a sphere exactly; a cylinder by its axis
//! and radius, and a box by its longest axis and the half diagonal across it, the caps
//! ending where the shape ends along that axis (so the rims' corners stick out a little,
//! and two shapes that meet end to end, as links at a joint do, do not overlap).
//! Empty when a shape is a mesh, which is not read.
[[nodiscard]] std::optional<std::vector<Capsule>> collision_capsules(const urdf::Link& link, const Frame& placement);

}  // namespace velmor::urdf_reading
