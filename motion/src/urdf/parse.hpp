#pragma once

#include <string>

#include <urdf_model/model.h>
#include <urdf_world/types.h>

namespace velmor::urdf_reading {

//! The parsed description; throws VelmorError (module "urdf") with the parser's own
//! complaints when the text is not a valid description (malformed XML, an unknown joint
//! type, a link with two parents, no single root, ...).
[[nodiscard]] urdf::ModelInterfaceSharedPtr parse(const std::string& xml);

}  // namespace velmor::urdf_reading
