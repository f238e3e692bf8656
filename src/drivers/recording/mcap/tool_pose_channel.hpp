// The tool pose channel of an MCAP recording: for every control cycle, the pose of
// each arm's tool centre point in the world, worked out from the cycle's joint
// position. Only a recording that knows its robot's arms has them; the joint
// states alone do not say where the tool was.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <velmor/motion/robot_arm.hpp>

#include "drivers/recording/cycle_chunk.hpp"
#include "drivers/recording/mcap/chunked_writer.hpp"

namespace velmor::drivers::mcap {

class ToolPoseChannel {
public:
    //! Adds the channel to `writer`; `arms` in the order of their joints in a cycle.
    ToolPoseChannel(ChunkedWriter& writer, std::vector<std::shared_ptr<const RobotArm>> arms);

    [[nodiscard]] const std::vector<std::shared_ptr<const RobotArm>>& get_arms() const { return arms; }

    //! One message per cycle of `chunk`, none when no arm is known.
    void add(const CycleChunk& chunk, ChunkedWriter& writer);

private:
    std::vector<std::shared_ptr<const RobotArm>> arms;
    std::uint16_t channel {0};
    // Each arm's pose up to its first number, its name escaped once.
    std::vector<std::string> pose_openings;
    std::vector<double> joint_position;
    std::string message;
};

}  // namespace velmor::drivers::mcap
