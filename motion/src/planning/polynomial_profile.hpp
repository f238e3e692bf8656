#pragma once

#include <optional>
#include <vector>

#include <velmor/motion/robot.hpp>

#include "planning/joint_motion.hpp"
#include "planning/profile.hpp"

namespace velmor::planning {

//! The quintic that moves one joint from `from` to `to` in `duration` [s].
Piece quintic(const JointState& from, const JointState& to, double duration);

//! Largest absolute value over [0, duration] of the `order`-th derivative
//! (0: position ... 3: jerk) of the piece.
double peak(const Piece& piece, int order);

//! Whether the piece keeps velocity, acceleration and jerk within the limits,
//! and, with `check_position`, the position too.
bool within_limits(const Piece& piece, const JointLimits& limits, bool check_position);

//! Quintics of every joint from `from` to `to` over the shortest common duration
//! that keeps every joint within its limits, found by a growing scan followed by
//! bisection; empty when no duration up to a few minutes works.
std::optional<JointMotion> synchronised_quintic(const std::vector<JointState>& from,
                                                const std::vector<JointState>& to,
                                                const std::vector<JointLimits>& limits);

}  // namespace velmor::planning
