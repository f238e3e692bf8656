#include "drivers/recording/mcap/schemas.hpp"

namespace velmor::drivers::mcap {

// JSON has no NaN or infinities: such values travel as the strings "nan", "inf"
// and "-inf", so every number field also admits a string.

const ChannelKind scene_channel {"/velmor/scene", "velmor.Scene", R"({
"title":"The recorded robot, its joint limits and the control interval",
"type":"object",
"required":["type","format","version","robot","environment_robot","joint_offset","degrees_of_freedom",
            "delta_time","limits","driver_version","started"],
"properties":{
 "type":{"type":"string"},"format":{"type":"string"},"version":{"type":"integer"},
 "robot":{"type":"string"},"environment_robot":{"type":"string"},
 "joint_offset":{"type":"integer"},"degrees_of_freedom":{"type":"integer"},
 "delta_time":{"type":["number","string"],"description":"control interval [s]"},
 "limits":{"type":"array","items":{"type":"object",
  "required":["min_position","max_position","max_velocity","max_acceleration","max_jerk"],
  "properties":{"min_position":{"type":["number","string"]},"max_position":{"type":["number","string"]},
   "max_velocity":{"type":["number","string"]},"max_acceleration":{"type":["number","string"]},
   "max_jerk":{"type":["number","string"]}}}},
 "driver_version":{"type":"string"},"started":{"type":"string"},"columns":{"type":"string"},
 "scene":{"type":"object","description":"the obstacles when recording began, as a scene file holds them"}}})"};

const ChannelKind joint_states_channel {"/velmor/joint_states", "velmor.JointStates", R"({
"title":"The state of the joints in one control cycle",
"type":"object",
"required":["time","wall_time","scale","command","name","position","velocity","acceleration"],
"properties":{
 "time":{"type":["number","string"],"description":"simulated time [s]"},
 "wall_time":{"type":["number","string"],"description":"wall-clock time since the recording began [s]"},
 "scale":{"type":["number","string"],"description":"speed scale"},
 "command":{"type":"integer","description":"index of the command being executed, -1 for none"},
 "name":{"type":"array","items":{"type":"string"}},
 "position":{"type":"array","items":{"type":["number","string"]},"description":"[rad] or [m]"},
 "velocity":{"type":"array","items":{"type":["number","string"]},"description":"[rad/s] or [m/s]"},
 "acceleration":{"type":"array","items":{"type":["number","string"]},"description":"[rad/s^2] or [m/s^2]"}}})"};

const ChannelKind tool_pose_channel {"/velmor/tool_pose", "velmor.ToolPoses", R"({
"title":"The pose of each arm's tool centre point in the world in one control cycle",
"type":"object",
"required":["time","wall_time","poses"],
"properties":{
 "time":{"type":["number","string"],"description":"simulated time [s]"},
 "wall_time":{"type":["number","string"],"description":"wall-clock time since the recording began [s]"},
 "poses":{"type":"array","items":{"type":"object","required":["arm","position","orientation"],
  "properties":{"arm":{"type":"string"},
   "position":{"type":"object","required":["x","y","z"],"description":"[m]",
    "properties":{"x":{"type":["number","string"]},"y":{"type":["number","string"]},"z":{"type":["number","string"]}}},
   "orientation":{"type":"object","required":["x","y","z","w"],"description":"unit quaternion",
    "properties":{"x":{"type":["number","string"]},"y":{"type":["number","string"]},"z":{"type":["number","string"]},
     "w":{"type":["number","string"]}}}}}}}})"};

const ChannelKind commands_channel {"/velmor/commands", "velmor.Command", R"({
"title":"A command given to the driver, with its result",
"type":"object",
"required":["type","index","kind","arguments","planned_duration","start_time","start_wall_time","end_time",
            "end_wall_time","result"],
"properties":{
 "type":{"type":"string"},"index":{"type":"integer"},"kind":{"type":"string"},"arguments":{"type":"string"},
 "planned_duration":{"type":["number","string","null"]},
 "start_time":{"type":["number","string"]},"start_wall_time":{"type":["number","string"]},
 "end_time":{"type":["number","string","null"]},"end_wall_time":{"type":["number","string","null"]},
 "result":{"type":["object","null"],"required":["value","description"],
  "properties":{"value":{"type":"integer"},"description":{"type":"string"}}},
 "plan_failure":{"type":["string","null"]}}})"};

const ChannelKind events_channel {"/velmor/events", "velmor.Event", R"({
"title":"An event whose trigger held",
"type":"object",
"required":["type","event","time","wall_time","trajectory_time","command"],
"properties":{
 "type":{"type":"string"},"event":{"type":"integer"},
 "time":{"type":["number","string"]},"wall_time":{"type":["number","string"]},
 "trajectory_time":{"type":["number","string"]},"command":{"type":["integer","null"]}}})"};

const ChannelKind io_channel {"/velmor/io", "velmor.IoChange", R"({
"title":"A change of a simulated I/O signal",
"type":"object",
"required":["type","name","old","new","source","time","wall_time"],
"properties":{
 "type":{"type":"string"},"name":{"type":"string"},
 "old":{"type":["number","string","null"]},"new":{"type":["number","string"]},
 "source":{"type":"string"},"time":{"type":["number","string"]},"wall_time":{"type":["number","string"]}}})"};

const ChannelKind marks_channel {"/velmor/marks", "velmor.Mark", R"({
"title":"A point on the simulated clock that the program marked",
"type":"object",
"required":["type","label","time","wall_time"],
"properties":{
 "type":{"type":"string"},"label":{"type":"string"},
 "time":{"type":["number","string"]},"wall_time":{"type":["number","string"]}}})"};

const ChannelKind waits_channel {"/velmor/waits", "velmor.Wait", R"({
"title":"A dwell or a wait for a condition of the program",
"type":"object",
"required":["type","kind","condition","start_time","start_wall_time","end_time","end_wall_time","held"],
"properties":{
 "type":{"type":"string"},"kind":{"type":"string"},"condition":{"type":"string"},
 "start_time":{"type":["number","string"]},"start_wall_time":{"type":["number","string"]},
 "end_time":{"type":["number","string","null"]},"end_wall_time":{"type":["number","string","null"]},
 "held":{"type":["boolean","null"]}}})"};

}  // namespace velmor::drivers::mcap
