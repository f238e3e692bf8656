#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <urdf_model/model.h>

#include <velmor/motion/link_geometry.hpp>

namespace velmor::urdf_reading {

//! Marks the pairs of description links in `pairs` as never checked against each other in
//! `links`, the arm's link geometry; `arm_link` maps every description link on the arm to
//! the arm link it is part of. Links of the description off the arm take no part. Throws
//! VelmorError (module "urdf") naming the links that are not in the description.
void disable_collisions(std::vector<LinkGeometry>& links, const std::map<std::string, std::size_t>& arm_link,
                        const urdf::ModelInterface& model,
                        const std::vector<std::pair<std::string, std::string>>& pairs);

}  // namespace velmor::urdf_reading
