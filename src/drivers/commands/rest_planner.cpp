#include "rest_planner.hpp"

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include <velmor/drivers/simulated_driver.hpp>
#include <velmor/log/log.hpp>
#include <velmor/velmor_error.hpp>

namespace velmor::drivers {

RestPlanner::RestPlanner(SimulatedDriver& driver) : driver(driver) {}

std::optional<velmor::Trajectory> RestPlanner::stop_from_current_state() const {
    RobotState state;
    {
        std::lock_guard lock(driver.state_mutex);
        state = driver.current_state;
    }
    velmor::Trajectory stop;
    std::string failure;
    try {
        if (driver.calculate_trajectory(StopCommand {true}, stop, state)) {
            return stop;
        }
        failure = "No stop could be planned from the current state; the robot stands at once.";
    } catch (const VelmorError& error) {
        failure = std::string("No stop could be planned from the current state (") + error.what() +
                  "); the robot stands at once.";
    }
    velmor::log::log_<velmor::log::Level::Warn>("driver", failure);
    return std::nullopt;
}

velmor::Trajectory RestPlanner::stand_still() const {
    std::fill(driver.cycle_velocity.begin(), driver.cycle_velocity.end(), 0.0);
    {
        std::lock_guard lock(driver.state_mutex);
        std::fill(driver.current_state.velocity.begin(), driver.current_state.velocity.end(), 0.0);
        std::fill(driver.current_state.acceleration.begin(), driver.current_state.acceleration.end(), 0.0);
    }
    const std::vector<std::vector<double>> rest {std::vector<double>(driver.cycle_position.size(), 0.0)};
    return velmor::Trajectory({0.0}, {driver.cycle_position}, rest, rest);
}

}  // namespace velmor::drivers
