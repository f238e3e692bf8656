// Which robot of a planner's environment a driver drives, and where the driven
// robot's joints lie among those of the environment's whole robot.
#include <velmor/drivers/driver.hpp>

#include <string>

#include <velmor/motion/environment.hpp>
#include <velmor/motion/robot_arm.hpp>
#include <velmor/velmor_error.hpp>

namespace velmor::drivers {

namespace {

std::shared_ptr<velmor::Environment> require_environment(const std::shared_ptr<velmor::Planner>& planner) {
    if (!planner || !planner->environment) {
        throw VelmorError("driver", "A planner and environment are required to instantiate the driver.");
    }
    return planner->environment;
}

// Keeps entries [offset, offset + count) in place; erasing never allocates,
// which matters because the control loop narrows its state every cycle.
void narrow(std::vector<double>& values, std::size_t offset, std::size_t count) {
    if (values.size() < offset + count) {
        return;
    }
    values.erase(values.begin() + static_cast<std::ptrdiff_t>(offset + count), values.end());
    values.erase(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(offset));
}

}  // namespace

std::shared_ptr<velmor::Robot> get_robot(const std::shared_ptr<velmor::Planner>& planner,
                                         const std::shared_ptr<velmor::Robot>& robot) {
    const auto environment = require_environment(planner);
    if (robot) {
        return robot;
    }
    const auto robots = environment->get_robots();
    if (robots.size() != 1) {
        throw VelmorError("driver", "Please specify the exact robot to drive, as they are '" +
                                        std::to_string(robots.size()) + "' in the environment.");
    }
    return robots.front();
}

std::size_t calculate_offset(const std::shared_ptr<velmor::Planner>& planner,
                             const std::shared_ptr<velmor::Robot>& robot) {
    const auto robots = require_environment(planner)->get_robots();
    if (robots.size() != 1) {
        throw VelmorError("driver", "Requires a single robot in the environment, but there are '" +
                                        std::to_string(robots.size()) + "'.");
    }
    const auto& whole = robots.front();
    std::size_t offset {0};
    for (auto arm = whole->get_next_arm(nullptr); arm && static_cast<velmor::Robot*>(arm.get()) != robot.get();
         arm = whole->get_next_arm(arm)) {
        offset += arm->get_degrees_of_freedom();
    }
    return offset;
}

void Driver::slice_state_offset(velmor::State& state) const {
    const std::size_t joints = state.position.size();
    if (joints == degrees_of_freedom || joints < joint_offset + degrees_of_freedom) {
        return;
    }
    narrow(state.position, joint_offset, degrees_of_freedom);
    // Velocity and acceleration are as long as the position whenever the time
    // scaler wrote the state; a shorter one is left as it is rather than read past its end.
    narrow(state.velocity, joint_offset, degrees_of_freedom);
    narrow(state.acceleration, joint_offset, degrees_of_freedom);
}

}  // namespace velmor::drivers
