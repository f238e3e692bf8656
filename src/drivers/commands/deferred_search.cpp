#include "deferred_search.hpp"

#include <chrono>
#include <utility>

#include <velmor/drivers/driver.hpp>
#include <velmor/drivers/time_scaler.hpp>
#include <velmor/log/log.hpp>

namespace velmor::drivers {

namespace {

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
    TimeScaler::Playhead playhead = TimeScaler::locate(trajectory, trajectory_time);
    RobotState state;
    for (std::size_t cycle = 0; cycle < cycles; ++cycle) {
        if (!TimeScaler::play(trajectory, playhead, scale, delta_time, state)) {
            break;
        }
    }
    return state;
}

}  // namespace velmor::drivers
