#pragma once

#include <vector>

#include "planning/profile.hpp"

namespace velmor::planning {

//! The profiles of every joint of a robot over a common duration.
struct JointMotion {
    //! One profile per joint.
    std::vector<Profile> joints;
    //! Duration of the whole motion [s]: the longest profile.
    double duration {0.0};
};

}  // namespace velmor::planning
