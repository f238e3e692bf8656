// Quickstart in C++: a simulated robot moves to a joint position and back, and
// the program prints each motion's result.
//
// VELMOR_EXAMPLE_TIME_SPEED (default 1) sets the simulated seconds per
// wall-clock second. The program exits with 1 when a motion does not succeed.
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include <velmor/drivers/result.hpp>
#include <velmor/drivers/simulated_driver.hpp>
#include <velmor/motion/planner.hpp>
#include <velmor/motion/robots.hpp>

int main() {
    // 1. The built-in six-axis arm, a planner for it and a simulated driver
    //    (no Mirava, no console stream, no I/O viewer).
    auto robot = std::make_shared<velmor::robots::UR5e>();
    auto planner = std::make_shared<velmor::Planner>(robot);
    velmor::drivers::SimulatedDriver driver(planner, robot, false, false, false, false, "192.168.0.1", 8000);
    if (const char* speed = std::getenv("VELMOR_EXAMPLE_TIME_SPEED")) {
        driver.time_speed = std::stod(speed);
    }

    // 2. Motions return a Result; a success has a positive value.
    const std::vector<double> ready {0.0, -1.2, 1.4, -0.2, 1.57, 0.0};  // [rad]
    const auto to_ready = driver.move_to(ready, false);
    std::cout << "move_to ready: " << to_ready.description << "\n";
    const auto to_home = driver.move_to(std::vector<double>(6, 0.0), false);
    std::cout << "move_to home: " << to_home.description << "\n";

    driver.disconnect();
    const bool succeeded = to_ready == velmor::drivers::Result::Success && to_home == velmor::drivers::Result::Success;
    return succeeded ? EXIT_SUCCESS : EXIT_FAILURE;
}
