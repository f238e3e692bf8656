#pragma once

#include <optional>

#include <velmor/motion/shapes.hpp>

namespace velmor::drivers {

//! Limits that a simulated controller watches in every control cycle, each off
//! by default. A motion whose commanded state breaks one ends with a
//! SafetyViolation fault; a command whose trajectory starts beyond one is refused.
struct SafetyLimits {
    //! Keep every joint within the robot's position limits.
    bool joint_position {false};
    //! Keep every joint's speed within the robot's velocity limit.
    bool joint_velocity {false};
    //! Keep the tool centre point of every arm inside this box (in the world).
    std::optional<velmor::Box> workspace;

    //! Whether any limit is watched.
    [[nodiscard]] bool any() const { return joint_position || joint_velocity || workspace.has_value(); }
};

}  // namespace velmor::drivers
