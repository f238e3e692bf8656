// Driver::record: what a recording needs to know of the driven robot.
#include <velmor/drivers/driver.hpp>

#include <utility>

#include <velmor/motion/environment.hpp>

namespace velmor::drivers {

std::shared_ptr<Recording> Driver::record(const std::optional<std::filesystem::path>& path) {
    RecordingHeader header;
    header.robot = robot->name;
    header.environment_robot = planner->environment->get_robots().front()->name;
    header.joint_offset = joint_offset;
    header.degrees_of_freedom = degrees_of_freedom;
    header.limits = robot->get_joint_limits();
    header.delta_time = delta_time;
    header.driver_version = VELMOR_VERSION;
    return recorder.start(std::move(header), path);
}

}  // namespace velmor::drivers
