#include "drivers/recording/mcap/tool_pose_channel.hpp"

#include <charconv>
#include <cmath>
#include <initializer_list>
#include <string_view>
#include <utility>

#include <Eigen/Geometry>
#include <nlohmann/json.hpp>

#include "drivers/recording/mcap/number_text.hpp"
#include "drivers/recording/mcap/schemas.hpp"

namespace velmor::drivers::mcap {

namespace {

// Poses are worked out again from the joint states, which are kept bit for bit:
// nine decimals (a nanometre) say all a viewer needs, in half the text of the
// shortest exact form, and compress far better.
void append_pose_number(double value, std::string& out) {
    if (!std::isfinite(value)) {
        append_double(value, out);
        return;
    }
    char text[48];
    const auto end = std::to_chars(text, text + sizeof(text), value, std::chars_format::fixed, 9);
    if (end.ec != std::errc {}) {
        append_double(value, out);
        return;
    }
    out.append(text, end.ptr);
}

// Each number after the text that comes before it.
void append_members(std::initializer_list<std::pair<std::string_view, double>> members, std::string& out) {
    for (const auto& [before, value] : members) {
        out += before;
        append_pose_number(value, out);
    }
}

}  // namespace

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
        begin_cycle_message(chunk.time[i], chunk.wall_time[i], message);
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
            append_members({{"", p.x()}, {",\"y\":", p.y()}, {",\"z\":", p.z()},
                            {"},\"orientation\":{\"x\":", q.x()}, {",\"y\":", q.y()}, {",\"z\":", q.z()},
                            {",\"w\":", q.w()}},
                           message);
            message += "}}";
        }
        message += "]}";
        writer.add_message(channel, nanoseconds(chunk.time[i]), nanoseconds(chunk.wall_time[i]), message);
    }
}

}  // namespace velmor::drivers::mcap
