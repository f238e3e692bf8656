#include "safety_recovery.hpp"

#include <algorithm>

namespace velmor::drivers {

namespace {

// How much an amount may grow without counting: rounding, and the curvature of the
// tool's path between two samples that each come closer [rad], [rad/s] or [m].
constexpr double growth_slack {1e-6};

}  // namespace

SafetyRecovery::SafetyRecovery(std::size_t joints) : joints(joints) {}

void SafetyRecovery::begin() {
    recovering = true;
    least.clear();
}

void SafetyRecovery::end() {
    recovering = false;
    least.clear();
}

void SafetyRecovery::restart_from(const std::vector<double>& excess) {
    least = excess;
}

std::optional<std::string> SafetyRecovery::follow(const std::vector<double>& excess) {
    // A different set of measures (the limits changed) starts the way anew.
    if (least.size() != excess.size()) {
        least = excess;
        return std::nullopt;
    }
    for (std::size_t i = 0; i < excess.size(); ++i) {
        // Written so that an amount that is not a number counts as grown.
        if (!(excess[i] <= least[i] + growth_slack)) {
            return "While recovering, " + name_of(i) + " went farther beyond its limit, from " +
                   std::to_string(least[i]) + " to " + std::to_string(excess[i]) + ".";
        }
    }
    for (std::size_t i = 0; i < excess.size(); ++i) {
        least[i] = std::min(least[i], excess[i]);
    }
    return std::nullopt;
}

bool SafetyRecovery::within() const {
    return std::all_of(least.begin(), least.end(), [](double amount) { return amount == 0.0; });
}

std::string SafetyRecovery::name_of(std::size_t measure) const {
    if (measure < joints) {
        return "the position of joint " + std::to_string(measure);
    }
    if (measure < 2 * joints) {
        return "the speed of joint " + std::to_string(measure - joints);
    }
    return "the tool centre point of arm " + std::to_string(measure - 2 * joints) + " (its distance from the workspace)";
}

}  // namespace velmor::drivers
