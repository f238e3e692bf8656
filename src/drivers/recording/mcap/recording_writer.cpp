#include "drivers/recording/mcap/recording_writer.hpp"

#include <charconv>

#include <nlohmann/json.hpp>

#include "drivers/recording/mcap/number_text.hpp"
#include "drivers/recording/mcap/schemas.hpp"
#include "drivers/recording/output_file.hpp"
#include "drivers/recording/record_json.hpp"

namespace velmor::drivers::mcap {

namespace {

std::uint16_t add_kind(ChunkedWriter& writer, const ChannelKind& kind) {
    return writer.add_channel(kind.topic, kind.schema_name, kind.schema);
}

void append_row(const char* key, const std::vector<double>& column, std::size_t first, std::size_t joints,
                std::string& out) {
    out += ",\"";
    out += key;
    out += "\":[";
    for (std::size_t j = 0; j < joints; ++j) {
        if (j > 0) {
            out += ',';
        }
        append_double(column[first + j], out);
    }
    out += ']';
}

// The record's JSON Lines line, without its newline, is its message.
template <typename Record>
void line_of(const Record& record, std::string& out) {
    out.clear();
    recording::append_record_line(record, out);
    out.pop_back();
}

// The joints' names in the robot model; a recording loaded from a file knows none,
// and viewers want some to label the plots: "joint_1", ...
nlohmann::json joint_names(std::size_t joints, const std::vector<std::shared_ptr<const RobotArm>>& arms) {
    nlohmann::json names = nlohmann::json::array();
    for (const auto& arm : arms) {
        const auto& chain = arm->get_chain();
        for (const ChainJoint& joint : chain) {
            names.push_back(arms.size() > 1 ? arm->name + '/' + joint.get_name() : joint.get_name());
        }
    }
    if (names.size() != joints) {
        names = nlohmann::json::array();
        for (std::size_t j = 1; j <= joints; ++j) {
            names.push_back("joint_" + std::to_string(j));
        }
    }
    return names;
}

}  // namespace

bool is_mcap_path(const std::filesystem::path& path) {
    std::string extension = path.extension().string();
    for (char& c : extension) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return extension == ".mcap";
}

RecordingWriter::RecordingWriter(const RecordingHeader& header, std::vector<std::shared_ptr<const RobotArm>> arms,
                                 McapCompression compression)
    : writer(compression),
      scene(add_kind(writer, scene_channel)),
      joint_states(add_kind(writer, joint_states_channel)),
      tool_poses(writer, std::move(arms)) {
    commands = add_kind(writer, commands_channel);
    events = add_kind(writer, events_channel);
    io = add_kind(writer, io_channel);
    marks = add_kind(writer, marks_channel);
    waits = add_kind(writer, waits_channel);
    recording::append_header_line(header, message);
    message.pop_back();
    writer.add_message(scene, 0, 0, message);
    names = ",\"name\":" + joint_names(header.degrees_of_freedom, tool_poses.get_arms()).dump();
}

void RecordingWriter::add(const CycleChunk& chunk) {
    const std::size_t joints = chunk.degrees_of_freedom;
    for (std::size_t i = 0; i < chunk.count; ++i) {
        begin_cycle_message(chunk.time[i], chunk.wall_time[i], message);
        message += ",\"scale\":";
        append_double(chunk.scale[i], message);
        message += ",\"command\":";
        char text[24];
        message.append(text, std::to_chars(text, text + sizeof(text), chunk.command[i]).ptr);
        message += names;
        append_row("position", chunk.position, i * joints, joints, message);
        append_row("velocity", chunk.velocity, i * joints, joints, message);
        append_row("acceleration", chunk.acceleration, i * joints, joints, message);
        message += '}';
        writer.add_message(joint_states, nanoseconds(chunk.time[i]), nanoseconds(chunk.wall_time[i]), message);
    }
    tool_poses.add(chunk, writer);
}

void RecordingWriter::add(const CommandRecord& record) {
    line_of(record, message);
    writer.add_message(commands, nanoseconds(record.start_time), nanoseconds(record.start_wall_time), message);
}

void RecordingWriter::add(const EventRecord& record) {
    line_of(record, message);
    writer.add_message(events, nanoseconds(record.time), nanoseconds(record.wall_time), message);
}

void RecordingWriter::add(const IoRecord& record) {
    line_of(record, message);
    writer.add_message(io, nanoseconds(record.time), nanoseconds(record.wall_time), message);
}

void RecordingWriter::add(const MarkRecord& record) {
    line_of(record, message);
    writer.add_message(marks, nanoseconds(record.time), nanoseconds(record.wall_time), message);
}

void RecordingWriter::add(const WaitRecord& record) {
    line_of(record, message);
    writer.add_message(waits, nanoseconds(record.start_time), nanoseconds(record.start_wall_time), message);
}

void save(const Recording& recording, const std::filesystem::path& path, McapCompression compression) {
    recording::OutputFile file(path);
    RecordingWriter writer(recording.header, recording.arms, compression);
    std::string bytes;
    const auto drain = [&] {
        writer.take_output(bytes);
        file.write(bytes);
    };
    for (const auto& chunk : recording.chunks) {
        writer.add(*chunk);
        drain();
    }
    for (const auto& record : recording.commands) {
        writer.add(record);
    }
    for (const auto& record : recording.events) {
        writer.add(record);
    }
    for (const auto& record : recording.io) {
        writer.add(record);
    }
    for (const auto& record : recording.marks) {
        writer.add(record);
    }
    for (const auto& record : recording.waits) {
        writer.add(record);
    }
    writer.finish();
    drain();
    file.finish();
}

}  // namespace velmor::drivers::mcap
