#pragma once

#include <optional>
#include <string>
#include <vector>

#include <velmor/drivers/faults/safety_limits.hpp>
#include <velmor/motion/robot.hpp>

namespace velmor::drivers {

//! How the first broken limit of a commanded state is broken, for the log; empty
//! when the state keeps every limit that `limits` watches. The joint limits allocate
//! only when one is broken; the workspace computes each arm's tool pose, which
//! allocates. `joints` are the driven robot's limits, one per joint.
std::optional<std::string> find_safety_violation(const SafetyLimits& limits, const std::vector<velmor::JointLimits>& joints,
                                                 velmor::Robot& robot, const std::vector<double>& position,
                                                 const std::vector<double>& velocity);

//! How far the state lies beyond each limit that `limits` watches, written into
//! `excess`: per joint the distance beyond its position range [rad] or [m], then per
//! joint the speed beyond its velocity limit [rad/s] or [m/s], then per arm the
//! distance of its tool centre point from the workspace [m]. 0 for a limit kept
//! (within the slack of find_safety_violation) or not watched, infinite for a value
//! that is not a number.
void measure_excess(const SafetyLimits& limits, const std::vector<velmor::JointLimits>& joints, velmor::Robot& robot,
                    const std::vector<double>& position, const std::vector<double>& velocity,
                    std::vector<double>& excess);

}  // namespace velmor::drivers
