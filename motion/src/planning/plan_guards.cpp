#include "planning/plan_guards.hpp"

#include <cmath>
#include <cstdio>
#include <string>
#include <utility>

#include <velmor/common/velmor_error.hpp>
#include <velmor/log/log.hpp>

namespace velmor::planning {

namespace {

// Longer motions are refused rather than sampled: their samples would fill the memory.
constexpr double longest_motion {3600.0};  // [s]
constexpr double most_samples {1e6};

}  // namespace

void refuse_plan(const std::string& message) {
    throw VelmorError("planner", message);
}

PlanResult decline(std::string reason) {
    velmor::log::log_<velmor::log::Level::Info>("planner", "No trajectory: " + reason);
    PlanResult result;
    result.reason = std::move(reason);
    return result;
}

std::string amount(double value, const char* unit) {
    char text[48];
    std::snprintf(text, sizeof text, "%.4g %s", value, unit);
    return text;
}

void check_delta_time(double delta_time) {
    if (!(delta_time > 0.0) || !std::isfinite(delta_time)) {
        refuse_plan("The sample interval must be a positive number of seconds, not " + std::to_string(delta_time) + ".");
    }
}

void check_limits(const std::vector<JointLimits>& limits) {
    for (std::size_t i = 0; i < limits.size(); ++i) {
        const JointLimits& l = limits[i];
        const auto usable = [](double limit) { return std::isfinite(limit) && limit > 0.0; };
        if (!usable(l.max_velocity) || !usable(l.max_acceleration) || !usable(l.max_jerk) ||
            !(l.min_position <= l.max_position)) {
            refuse_plan("The limits of joint " + std::to_string(i) +
                   " do not allow planning: the velocity, acceleration and jerk limits must be positive finite "
                   "numbers and the position range must be ordered.");
        }
    }
}

bool within_sample_cap(double duration, double delta_time) {
    return duration <= longest_motion && duration / delta_time < most_samples;
}

}  // namespace velmor::planning
