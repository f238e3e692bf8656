#pragma once

#include <memory>
#include <ostream>
#include <vector>

#include <gtest/gtest.h>

#include <velmor/drivers/simulated_driver.hpp>
#include <velmor/motion/motion.hpp>
#include <velmor/motion/planner.hpp>
#include <velmor/motion/robots.hpp>
#include <velmor/motion/trajectory.hpp>

namespace velmor::drivers {

// Lets GoogleTest print results readably.
inline void PrintTo(const Result& result, std::ostream* out) {
    *out << "[" << result.value << "] " << result.description;
}

}  // namespace velmor::drivers

namespace velmor::drivers::testing {

//! The arm's zero position, and a goal a short joint motion away from it.
inline const std::vector<double> zero(6, 0.0);
inline const std::vector<double> goal {0.5, -0.4, 0.3, 0.2, -0.1, 0.6};

//! A simulated driver whose loop bookkeeping tests may read.
class InspectableDriver : public SimulatedDriver {
public:
    using SimulatedDriver::SimulatedDriver;
    using SimulatedDriver::active_loops;
    using SimulatedDriver::most_active_loops;
};

//! The built-in six-axis arm with a planner and a connected simulated driver.
struct SimulatedRobot {
    std::shared_ptr<velmor::RobotArm> robot = std::make_shared<velmor::robots::UR5e>();
    std::shared_ptr<velmor::Planner> planner = std::make_shared<velmor::Planner>(robot);
    std::shared_ptr<InspectableDriver> driver;

    explicit SimulatedRobot(double time_speed, bool log_stream = false) {
        driver = std::make_shared<InspectableDriver>(planner, nullptr, false, log_stream, false, false,
                                                     "192.168.0.1", 8000);
        driver->time_speed = time_speed;
    }

    //! A rest-to-rest trajectory between two joint positions.
    [[nodiscard]] velmor::Trajectory plan(const std::vector<double>& from, const std::vector<double>& to) const {
        auto trajectory = planner->plan(velmor::Motion(robot, "", velmor::Waypoint(from), to));
        EXPECT_TRUE(trajectory.has_value());
        return trajectory.value_or(velmor::Trajectory());
    }
};

}  // namespace velmor::drivers::testing
