#include "planning/velocity_change.hpp"

#include <algorithm>
#include <cmath>

namespace velmor::planning {

namespace {

//! The durations [s] in which a change from acceleration `a0` to `a1` [rad/s²] gains more than
//! `gain` [rad/s] even at the least: the least gain takes the acceleration down to a valley q
//! and back up, (a0² + a1² - 2·q²)/(2j), which first rises with the duration while q > 0 and
//! then falls.
std::optional<std::pair<double, double>> gaining_too_much(double a0, double a1, double gain, double max_acceleration,
                                                          double max_jerk) {
    const double j = max_jerk;
    const double square = (a0 * a0 + a1 * a1 - 2.0 * j * gain) / 2.0;
    if (square <= 0.0) {
        return std::nullopt;
    }
    const double shallow = std::min(std::sqrt(square), std::min(a0, a1));
    const double deep = -std::sqrt(square);
    const double from = (a0 + a1 - 2.0 * shallow) / j;
    if (deep >= -max_acceleration) {
        return std::pair {from, (a0 + a1 - 2.0 * deep) / j};
    }
    // The valley holds at the limit, losing a·hold.
    const double a = max_acceleration;
    const double hold = ((a0 * a0 + a1 * a1 - 2.0 * a * a) / (2.0 * j) - gain) / a;
    return std::pair {from, hold + (a0 + a) / j + (a1 + a) / j};
}

}  // namespace

JerkPhases velocity_change(double v0, double a0, double v1, double a1, double max_acceleration, double max_jerk) {
    const double j = max_jerk;
    JerkPhases phases;
    // One ramp straight from a0 to a1 changes the velocity by this much; a peak beyond
    // both accelerations (above them when more is needed, below when less) does the rest.
    const double direct = std::abs(a1 - a0) * (a0 + a1) / (2.0 * j);
    const double change = v1 - v0;
    const double scale = std::max({std::abs(v0), std::abs(v1), max_acceleration * max_acceleration / j});
    if (std::abs(change - direct) <= 1e-14 * scale) {
        phases.add(std::abs(a1 - a0) / j, std::copysign(j, a1 - a0));
        return phases;
    }
    // Mirrored so that the peak lies above both accelerations.
    const double sign = change > direct ? 1.0 : -1.0;
    const double from = sign * a0;
    const double to = sign * a1;
    const double gain = sign * change;
    // Ramps up to `peak` and down again gain (2·peak² - from² - to²)/(2j), a hold at the peak peak·hold more.
    double peak = std::sqrt(std::max(j * gain + (from * from + to * to) / 2.0, 0.0));
    double hold = 0.0;
    if (peak > max_acceleration) {
        peak = max_acceleration;
        hold = std::max((gain - (2.0 * peak * peak - from * from - to * to) / (2.0 * j)) / peak, 0.0);
    }
    phases.add(std::max(peak - from, 0.0) / j, sign * j);
    phases.add(hold, 0.0);
    phases.add(std::max(peak - to, 0.0) / j, -sign * j);
    return phases;
}

std::optional<std::pair<double, double>> velocity_change_gap(double v0, double a0, double v1, double a1,
                                                             double max_acceleration, double max_jerk) {
    const double shortest = velocity_change(v0, a0, v1, a1, max_acceleration, max_jerk).duration();
    // The shortest change gains as much as it can in its time (or as little); the gap lies
    // where even the least (or the most) that a longer time allows is still too much (too little).
    const double change = v1 - v0;
    for (const double sign : {1.0, -1.0}) {
        const auto gap = gaining_too_much(sign * a0, sign * a1, sign * change, max_acceleration, max_jerk);
        if (gap && gap->first >= shortest * (1.0 - 1e-12) && gap->second > gap->first) {
            return gap;
        }
    }
    return std::nullopt;
}

}  // namespace velmor::planning
