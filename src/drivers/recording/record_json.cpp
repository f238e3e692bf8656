#include "drivers/recording/record_json.hpp"

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string_view>
#include <variant>

#include <velmor/common/bounded_json.hpp>
#include <velmor/common/recording_bounds.hpp>
#include <velmor/motion/scene_json.hpp>

#include "drivers/recording/base64.hpp"
#include "drivers/recording/json_fields.hpp"

namespace velmor::drivers::recording {

namespace {

static_assert(std::endian::native == std::endian::little,
              "recording files hold little-endian columns, copied straight from memory");

// A count or index from the file, refused outside [low, high] before anything is sized from it.
std::size_t bounded_member(const Json& line, const char* key, std::size_t low, std::size_t high) {
    const Json& value = member(line, key);
    if (!value.is_number_unsigned() || value.get<std::uint64_t>() < low || value.get<std::uint64_t>() > high) {
        throw std::runtime_error(std::string("\"") + key + "\" is " + json_excerpt(value) +
                                 ", not a whole number from " + std::to_string(low) + " to " + std::to_string(high));
    }
    return value.get<std::size_t>();
}

Json signal_value(const SignalValue& value) {
    if (const auto* digital = std::get_if<std::int32_t>(&value)) {
        return *digital;
    }
    return number(static_cast<double>(std::get<float>(value)));
}

// An integer is a digital value, anything else an analog one.
SignalValue signal_value_from(const Json& value, const char* key) {
    if (value.is_number_integer()) {
        using Limits = std::numeric_limits<std::int32_t>;
        const bool fits = value.is_number_unsigned()
                              ? value.get<std::uint64_t>() <= std::uint64_t {Limits::max()}
                              : value.get<std::int64_t>() >= Limits::min() && value.get<std::int64_t>() <= Limits::max();
        if (!fits) {
            throw std::runtime_error(std::string("\"") + key + "\" is " + json_excerpt(value) +
                                     ", a digital value beyond 32 bits");
        }
        return value.get<std::int32_t>();
    }
    return static_cast<float>(number_from(value, key));
}

const char* source_name(IoSource source) {
    switch (source) {
        case IoSource::Script:
            return "script";
        case IoSource::Viewer:
            return "viewer";
        case IoSource::Toggle:
            return "toggle";
        case IoSource::ConfigFile:
            return "config_file";
        case IoSource::Device:
            return "device";
    }
    return "script";
}

// A device's change names the device: "device:<name>".
constexpr std::string_view device_prefix {"device:"};

std::string source_text(const IoRecord& record) {
    if (record.source == IoSource::Device) {
        return std::string(device_prefix) + record.device;
    }
    return source_name(record.source);
}

IoSource source_from(const std::string& name) {
    for (const auto source : {IoSource::Script, IoSource::Viewer, IoSource::Toggle, IoSource::ConfigFile}) {
        if (name == source_name(source)) {
            return source;
        }
    }
    throw std::runtime_error("unknown I/O source " + json_excerpt(name));
}

template <typename T>
void append_column(const char* key, const std::vector<T>& column, std::size_t values, std::string& out) {
    out += ",\"";
    out += key;
    out += "\":\"";
    append_base64(column.data(), values * sizeof(T), out);
    out += '"';
}

// The base64 text of a column of `values` values of `size` bytes; refused unless it
// holds exactly that many. Checked for every column before a chunk is allocated,
// so a short line cannot make the reader allocate for counts it does not hold.
std::string_view column_text(const Json& line, const char* key, std::size_t values, std::size_t size) {
    const Json& text = member(line, key);
    std::size_t bytes = 0;
    if (!text.is_string() || __builtin_mul_overflow(values, size, &bytes) ||
        !decode_base64(text.get_ref<const std::string&>(), nullptr, bytes)) {
        throw std::runtime_error(std::string("column \"") + key + "\" does not hold " + std::to_string(values) +
                                 " values in base64");
    }
    return text.get_ref<const std::string&>();
}

// Decodes a text that column_text has checked, which cannot fail.
template <typename T>
void read_column(std::string_view text, std::vector<T>& column) {
    decode_base64(text, column.data(), column.size() * sizeof(T));
}

}  // namespace

void append_header_line(const RecordingHeader& header, std::string& out) {
    Json limits = Json::array();
    for (const auto& limit : header.limits) {
        limits.push_back({{"min_position", number(limit.min_position)},
                          {"max_position", number(limit.max_position)},
                          {"max_velocity", number(limit.max_velocity)},
                          {"max_acceleration", number(limit.max_acceleration)},
                          {"max_jerk", number(limit.max_jerk)}});
    }
    append_line({{"type", "header"},
                 {"format", format_name},
                 {"version", RecordingHeader::format_version},
                 {"robot", header.robot},
                 {"environment_robot", header.environment_robot},
                 {"joint_offset", header.joint_offset},
                 {"degrees_of_freedom", header.degrees_of_freedom},
                 {"delta_time", number(header.delta_time)},
                 {"limits", limits},
                 {"driver_version", header.driver_version},
                 {"started", header.started},
                 {"scene", Json::parse(scene_to_json(header.obstacles))},
                 {"columns", "base64 of little-endian float64 values; command: int64, -1 for none; "
                             "joint columns row-major, cycle by joint"}},
                out);
}

void append_chunk_line(const CycleChunk& chunk, std::string& out) {
    const std::size_t values = chunk.count * chunk.degrees_of_freedom;
    out += "{\"type\":\"cycles\",\"count\":";
    out += std::to_string(chunk.count);
    append_column("time", chunk.time, chunk.count, out);
    append_column("wall_time", chunk.wall_time, chunk.count, out);
    append_column("scale", chunk.scale, chunk.count, out);
    append_column("command", chunk.command, chunk.count, out);
    append_column("position", chunk.position, values, out);
    append_column("velocity", chunk.velocity, values, out);
    append_column("acceleration", chunk.acceleration, values, out);
    out += "}\n";
}

void append_record_line(const CommandRecord& record, std::string& out) {
    Json result = nullptr;
    if (record.result) {
        result = {{"value", record.result->value}, {"description", record.result->description}};
    }
    append_line({{"type", "command"},
                 {"index", record.index},
                 {"kind", record.kind},
                 {"arguments", record.arguments},
                 {"planned_duration", optional_number(record.planned_duration)},
                 {"start_time", number(record.start_time)},
                 {"start_wall_time", number(record.start_wall_time)},
                 {"end_time", optional_number(record.end_time)},
                 {"end_wall_time", optional_number(record.end_wall_time)},
                 {"result", result},
                 {"plan_failure", record.plan_failure ? Json(*record.plan_failure) : Json(nullptr)}},
                out);
}

void append_record_line(const EventRecord& record, std::string& out) {
    append_line({{"type", "event"},
                 {"event", record.event},
                 {"time", number(record.time)},
                 {"wall_time", number(record.wall_time)},
                 {"trajectory_time", number(record.trajectory_time)},
                 {"command", record.command ? Json(*record.command) : Json(nullptr)}},
                out);
}

void append_record_line(const IoRecord& record, std::string& out) {
    append_line({{"type", "io"},
                 {"name", record.name},
                 {"old", record.old_value ? signal_value(*record.old_value) : Json(nullptr)},
                 {"new", signal_value(record.new_value)},
                 {"source", source_text(record)},
                 {"time", number(record.time)},
                 {"wall_time", number(record.wall_time)}},
                out);
}

void append_end_line(std::size_t cycles, const RecordCounts& counts, std::string& out) {
    append_line({{"type", "end"},
                 {"cycles", cycles},
                 {"commands", counts.commands},
                 {"events", counts.events},
                 {"io", counts.io},
                 {"marks", counts.marks},
                 {"waits", counts.waits}},
                out);
}

RecordingHeader header_from_json(const Json& line) {
    namespace bounds = velmor::recording_bounds;
    if (member(line, "format") != format_name) {
        throw std::runtime_error(std::string("not a recording: the format is not \"") + format_name + "\"");
    }
    if (const Json& version = member(line, "version");
        !version.is_number_integer() || version != RecordingHeader::format_version) {
        throw std::runtime_error("the format version is " + json_excerpt(version) + "; this library reads version " +
                                 std::to_string(RecordingHeader::format_version) + " only");
    }
    RecordingHeader header;
    header.robot = member(line, "robot").get<std::string>();
    header.environment_robot = member(line, "environment_robot").get<std::string>();
    header.joint_offset = bounded_member(line, "joint_offset", 0, bounds::max_joint_offset);
    header.degrees_of_freedom = bounded_member(line, "degrees_of_freedom", 1, bounds::max_degrees_of_freedom);
    header.delta_time = number_member(line, "delta_time");
    if (!std::isfinite(header.delta_time) || header.delta_time <= 0.0) {
        throw std::runtime_error("\"delta_time\" is " + json_excerpt(member(line, "delta_time")) +
                                 ", not a positive number of seconds");
    }
    const Json& limits = member(line, "limits");
    if (!limits.is_array() || limits.size() != header.degrees_of_freedom) {
        throw std::runtime_error("\"limits\" is not a list of " + std::to_string(header.degrees_of_freedom) +
                                 " joints' limits");
    }
    for (const auto& limit : limits) {
        header.limits.push_back({number_member(limit, "min_position"), number_member(limit, "max_position"),
                                 number_member(limit, "max_velocity"), number_member(limit, "max_acceleration"),
                                 number_member(limit, "max_jerk")});
    }
    header.driver_version = member(line, "driver_version").get<std::string>();
    header.started = member(line, "started").get<std::string>();
    // Recordings of earlier versions hold no scene.
    if (const auto scene = line.find("scene"); scene != line.end()) {
        header.obstacles = scene_from_json(scene->dump());
    }
    return header;
}

CycleChunk chunk_from_json(const Json& line, std::size_t degrees_of_freedom) {
    const auto count = bounded_member(line, "count", 0, velmor::recording_bounds::max_cycles_per_line);
    std::size_t values = 0;
    if (__builtin_mul_overflow(count, degrees_of_freedom, &values)) {
        throw std::runtime_error(std::to_string(count) + " cycles of " + std::to_string(degrees_of_freedom) +
                                 " joints are more values than memory holds");
    }
    const auto time = column_text(line, "time", count, sizeof(double));
    const auto wall_time = column_text(line, "wall_time", count, sizeof(double));
    const auto scale = column_text(line, "scale", count, sizeof(double));
    const auto command = column_text(line, "command", count, sizeof(std::int64_t));
    const auto position = column_text(line, "position", values, sizeof(double));
    const auto velocity = column_text(line, "velocity", values, sizeof(double));
    const auto acceleration = column_text(line, "acceleration", values, sizeof(double));
    CycleChunk chunk(degrees_of_freedom, count);
    chunk.count = count;
    read_column(time, chunk.time);
    read_column(wall_time, chunk.wall_time);
    read_column(scale, chunk.scale);
    read_column(command, chunk.command);
    read_column(position, chunk.position);
    read_column(velocity, chunk.velocity);
    read_column(acceleration, chunk.acceleration);
    return chunk;
}

CommandRecord command_from_json(const Json& line) {
    CommandRecord record;
    record.index = member(line, "index").get<std::uint64_t>();
    record.kind = member(line, "kind").get<std::string>();
    record.arguments = member(line, "arguments").get<std::string>();
    record.planned_duration = optional_number_member(line, "planned_duration");
    record.start_time = number_member(line, "start_time");
    record.start_wall_time = number_member(line, "start_wall_time");
    record.end_time = optional_number_member(line, "end_time");
    record.end_wall_time = optional_number_member(line, "end_wall_time");
    if (const Json& result = member(line, "result"); !result.is_null()) {
        record.result = Result {{member(result, "value").get<int>(), member(result, "description").get<std::string>()}};
    }
    // Recordings made before plans gave reasons have no such key.
    if (const auto found = line.find("plan_failure"); found != line.end() && !found->is_null()) {
        record.plan_failure = found->get<std::string>();
    }
    return record;
}

EventRecord event_from_json(const Json& line) {
    EventRecord record;
    record.event = member(line, "event").get<std::uint64_t>();
    record.time = number_member(line, "time");
    record.wall_time = number_member(line, "wall_time");
    record.trajectory_time = number_member(line, "trajectory_time");
    if (const Json& command = member(line, "command"); !command.is_null()) {
        record.command = command.get<std::uint64_t>();
    }
    return record;
}

IoRecord io_from_json(const Json& line) {
    IoRecord record;
    record.name = member(line, "name").get<std::string>();
    if (const Json& old_value = member(line, "old"); !old_value.is_null()) {
        record.old_value = signal_value_from(old_value, "old");
    }
    record.new_value = signal_value_from(member(line, "new"), "new");
    const auto source = member(line, "source").get<std::string>();
    if (source.starts_with(device_prefix) && source.size() > device_prefix.size()) {
        record.source = IoSource::Device;
        record.device = source.substr(device_prefix.size());
    } else {
        record.source = source_from(source);
    }
    record.time = number_member(line, "time");
    record.wall_time = number_member(line, "wall_time");
    return record;
}

}  // namespace velmor::drivers::recording
