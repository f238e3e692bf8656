#include "deferred_search.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <utility>

#include <velmor/drivers/driver.hpp>
#include <velmor/log/log.hpp>

namespace velmor::drivers {

namespace {

// The time scaler shortens every step by this much, so that a step never overshoots
// a sample time by rounding; the prediction steps the same way.
constexpr double step_shortening = 4.440892098500626e-16;
// How far the state at the hand-over may lie from the predicted one; a speed change
// while the search ran moves it much farther.
constexpr double handover_tolerance = 1e-6;

bool close(const std::vector<double>& a, const std::vector<double>& b) {
    return a.size() == b.size() && Driver::are_positions_within(a, b, handover_tolerance);
}

}  // namespace

DeferredSearch::~DeferredSearch() {
    cancel();
    for (auto& search : retired) {
        search.wait();
    }
}

void DeferredSearch::start(Search search, RobotState handover) {
    cancel();
    cancelled = std::make_shared<std::atomic<bool>>(false);
    from = std::move(handover);
    cycles_left = lead_cycles;
    result = std::async(std::launch::async, [search = std::move(search), start = from, flag = cancelled]() {
        return search(start, *flag);
    });
}

bool DeferredSearch::due() {
    return result.valid() && --cycles_left == 0;
}

std::optional<velmor::Trajectory> DeferredSearch::take(const RobotState& current) {
    auto found = result.get();
    if (found && !(close(current.position, from.position) && close(current.velocity, from.velocity))) {
        velmor::log::log_<velmor::log::Level::Warn>(
            "driver", "The speed changed while the way around the obstacles was planned; the motion goes on.");
        return std::nullopt;
    }
    return found;
}

void DeferredSearch::cancel() {
    // Searches given up earlier end within moments of seeing their flag.
    std::erase_if(retired, [](const auto& search) { return search.wait_for(std::chrono::seconds(0)) == std::future_status::ready; });
    if (!result.valid()) {
        return;
    }
    cancelled->store(true);
    // The cycle that cancels (a stop, a fault) does not wait for the search to notice.
    retired.push_back(std::move(result));
}

RobotState predict_state(const velmor::Trajectory& trajectory, double trajectory_time, double scale,
                         double delta_time, std::size_t cycles) {
    const auto& times = trajectory.times();
    double played = trajectory_time;
    for (std::size_t cycle = 1; cycle < cycles; ++cycle) {
        played += scale * delta_time - step_shortening;
    }
    RobotState state;
    if (played >= trajectory.duration() || trajectory.size() < 2) {
        static_cast<velmor::State&>(state) = trajectory.back();
        return state;
    }
    const auto next = std::upper_bound(times.begin(), times.end(), played);
    const auto k = static_cast<std::size_t>(std::max<std::ptrdiff_t>(next - times.begin(), 1)) - 1;
    const double to_next = times[k + 1] - played;
    const double from_previous = played - times[k];
    const double span = to_next + from_previous;
    const std::size_t joints = trajectory.degrees_of_freedom();
    state.position.resize(joints);
    state.velocity.resize(joints);
    state.acceleration.resize(joints);
    for (std::size_t j = 0; j < joints; ++j) {
        const auto blend = [&](const std::vector<std::vector<double>>& samples) {
            return (samples[k][j] * to_next + samples[k + 1][j] * from_previous) / span;
        };
        state.position[j] = blend(trajectory.positions());
        state.velocity[j] = blend(trajectory.velocities()) * scale;
        state.acceleration[j] = blend(trajectory.accelerations()) * scale * scale;
    }
    return state;
}

}  // namespace velmor::drivers
