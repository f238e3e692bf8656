#pragma once

#include <string>

namespace velmor::drivers {

//! Tells that a command's trajectory could not be planned: logs `reason` at the info
//! level (tag "driver"), the result codes saying no more than that it failed, and
//! returns it for the command's record.
std::string tell_plan_failure(std::string reason);

}  // namespace velmor::drivers
