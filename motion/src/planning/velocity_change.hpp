#pragma once

#include <optional>
#include <utility>

#include "planning/jerk_phases.hpp"

namespace velmor::planning {

//! The shortest change of a joint's velocity [rad/s] and acceleration [rad/s²] from
//! (`v0`, `a0`) to (`v1`, `a1`), wherever the position ends: the acceleration ramps at
//! full jerk to a peak, holds it where that is the acceleration limit, and ramps to `a1`.
//! Both accelerations must lie within ±`max_acceleration`.
JerkPhases velocity_change(double v0, double a0, double v1, double a1, double max_acceleration, double max_jerk);

//! The durations [s], longer than the shortest, in which the change of velocity_change cannot
//! be made at all, as an open interval; empty when every longer duration works. Such a gap
//! opens when both accelerations lie on the side the change needs: accelerating less, in
//! order to gain less velocity, then takes longer than the acceleration limit can make up.
std::optional<std::pair<double, double>> velocity_change_gap(double v0, double a0, double v1, double a1,
                                                             double max_acceleration, double max_jerk);

}  // namespace velmor::planning
