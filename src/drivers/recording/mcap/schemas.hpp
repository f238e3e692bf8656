// The channels of a recording in MCAP, each with the JSON Schema of its messages.
#pragma once

#include <string_view>

namespace velmor::drivers::mcap {

struct ChannelKind {
    std::string_view topic;
    std::string_view schema_name;
    std::string_view schema;
};

//! The robot, its joint limits and the control interval: one message at time 0.
extern const ChannelKind scene_channel;
//! One message per control cycle: joint names, positions, velocities, accelerations.
extern const ChannelKind joint_states_channel;
//! One message per control cycle: the pose of each arm's tool centre point in the world.
extern const ChannelKind tool_pose_channel;
//! One message per command, with its result.
extern const ChannelKind commands_channel;
//! One message per fired event.
extern const ChannelKind events_channel;
//! One message per I/O change.
extern const ChannelKind io_channel;
//! One message per mark the program set on the clock.
extern const ChannelKind marks_channel;
//! One message per dwell or wait of the program.
extern const ChannelKind waits_channel;

}  // namespace velmor::drivers::mcap
