// Recordings of a driver: the header that describes its robot, and the arms
// whose tool poses an MCAP recording works out from the joint positions.
#include <velmor/drivers/driver.hpp>

#include <velmor/motion/environment.hpp>
#include <velmor/motion/robot_arm.hpp>

#include "recording/recorder.hpp"

namespace velmor::drivers {

std::shared_ptr<Recording> Driver::record(const std::optional<std::filesystem::path>& path, McapCompression compression) {
    RecordingHeader header;
    header.robot = robot->name;
    header.environment_robot = planner->environment->get_robots().front()->name;
    header.joint_offset = joint_offset;
    header.degrees_of_freedom = degrees_of_freedom;
    header.limits = robot->get_joint_limits();
    header.delta_time = delta_time;
    header.driver_version = VELMOR_VERSION;
    header.obstacles = planner->environment->obstacles();
    std::vector<std::shared_ptr<const RobotArm>> arms;
    for (auto arm = robot->get_next_arm(); arm; arm = robot->get_next_arm(arm)) {
        arms.push_back(arm);
    }
    return recorder.start(std::move(header), std::move(arms), path, compression);
}

}  // namespace velmor::drivers
