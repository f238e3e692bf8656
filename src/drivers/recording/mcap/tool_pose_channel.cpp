#include "drivers/recording/mcap/tool_pose_channel.hpp"

#include <Eigen/Geometry>
#include <nlohmann/json.hpp>

#include "drivers/recording/mcap/number_text.hpp"
#include "drivers/recording/mcap/schemas.hpp"

namespace velmor::drivers::mcap {

ToolPoseChannel::ToolPoseChannel(ChunkedWriter& writer, std::vector<std::shared_ptr<const RobotArm>> arms)
    : arms(std::move(arms)),
      channel(writer.add_channel(tool_pose_channel.topic, tool_pose_channel.schema_name, tool_pose_channel.schema)) {
    for (const auto& arm : this->arms) {
        pose_openings.push_back("{\"arm\":" + nlohmann::json(arm->name).dump() + ",\"position\":{\"x\":");
    }
}

void ToolPoseChannel::add(const CycleChunk& chunk, ChunkedWriter& writer) {
    if (arms.empty()) {
        return;
    }
    const std::size_t joints = chunk.degrees_of_freedom;
    for (std::size_t i = 0; i < chunk.count; ++i) {
        message.clear();
        message += "{\"time\":";
        append_double(chunk.time[i], message);
        message += ",\"wall_time\":";
        append_double(chunk.wall_time[i], message);
        message += ",\"poses\":[";
        std::size_t first = i * joints;
        for (std::size_t a = 0; a < arms.size(); ++a) {
            const RobotArm& arm = *arms[a];
            const std::size_t arm_joints = arm.get_degrees_of_freedom();
            // Arms whose joints the cycle does not hold (a recording of fewer joints) are left out.
            if (first + arm_joints > (i + 1) * joints) {
                break;
            }
            joint_position.assign(chunk.position.begin() + static_cast<std::ptrdiff_t>(first),
                                  chunk.position.begin() + static_cast<std::ptrdiff_t>(first + arm_joints));
            first += arm_joints;
            const Frame tcp = arm.calculate_tcp(joint_position);
            const Eigen::Vector3d p = tcp.translation();
            const Eigen::Quaterniond q(tcp.rotation());
            if (a > 0) {
                message += ',';
            }
            message += pose_openings[a];
            append_double(p.x(), message);
            message += ",\"y\":";
            append_double(p.y(), message);
            message += ",\"z\":";
            append_double(p.z(), message);
            message += "},\"orientation\":{\"x\":";
            append_double(q.x(), message);
            message += ",\"y\":";
            append_double(q.y(), message);
            message += ",\"z\":";
            append_double(q.z(), message);
            message += ",\"w\":";
            append_double(q.w(), message);
            message += "}}";
        }
        message += "]}";
        writer.add_message(channel, nanoseconds(chunk.time[i]), nanoseconds(chunk.wall_time[i]), message);
    }
}

}  // namespace velmor::drivers::mcap
