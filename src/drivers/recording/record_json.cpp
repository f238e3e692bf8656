#include "drivers/recording/record_json.hpp"

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <variant>

#include "drivers/recording/base64.hpp"

namespace velmor::drivers::recording {

namespace {

static_assert(std::endian::native == std::endian::little,
              "recording files hold little-endian columns, copied straight from memory");

const Json& member(const Json& line, const char* key) {
    const auto found = line.find(key);
    if (found == line.end()) {
        throw std::runtime_error(std::string("no \"") + key + "\"");
    }
    return *found;
}

// JSON has no NaN or infinities; they are written as strings so that every double round-trips.
Json number(double value) {
    if (std::isnan(value)) {
        return "nan";
    }
    if (std::isinf(value)) {
        return value > 0 ? "inf" : "-inf";
    }
    return value;
}

double number_from(const Json& value) {
    if (value.is_number()) {
        return value.get<double>();
    }
    if (value.is_string()) {
        const auto& text = value.get_ref<const std::string&>();
        if (text == "nan") {
            return std::numeric_limits<double>::quiet_NaN();
        }
        if (text == "inf" || text == "-inf") {
            return text == "inf" ? std::numeric_limits<double>::infinity() : -std::numeric_limits<double>::infinity();
        }
    }
    throw std::runtime_error("a number was expected, not " + value.dump());
}

double number_member(const Json& line, const char* key) {
    return number_from(member(line, key));
}

Json optional_number(const std::optional<double>& value) {
    return value ? number(*value) : Json(nullptr);
}

std::optional<double> optional_number_member(const Json& line, const char* key) {
    const Json& value = member(line, key);
    if (value.is_null()) {
        return std::nullopt;
    }
    return number_from(value);
}

Json signal_value(const SignalValue& value) {
    if (const auto* digital = std::get_if<std::int32_t>(&value)) {
        return *digital;
    }
    return number(static_cast<double>(std::get<float>(value)));
}

// An integer is a digital value, anything else an analog one.
SignalValue signal_value_from(const Json& value) {
    if (value.is_number_integer()) {
        return value.get<std::int32_t>();
    }
    return static_cast<float>(number_from(value));
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
    }
    return "script";
}

IoSource source_from(const std::string& name) {
    for (const auto source : {IoSource::Script, IoSource::Viewer, IoSource::Toggle, IoSource::ConfigFile}) {
        if (name == source_name(source)) {
            return source;
        }
    }
    throw std::runtime_error("unknown I/O source \"" + name + "\"");
}

void append_line(const Json& line, std::string& out) {
    // Names come from scripts and pages as bytes; ones that are not UTF-8 are kept readable
    // rather than failing the whole recording.
    out += line.dump(-1, ' ', false, Json::error_handler_t::replace);
    out += '\n';
}

template <typename T>
void append_column(const char* key, const std::vector<T>& column, std::size_t values, std::string& out) {
    out += ",\"";
    out += key;
    out += "\":\"";
    append_base64(column.data(), values * sizeof(T), out);
    out += '"';
}

template <typename T>
void read_column(const Json& line, const char* key, std::vector<T>& column) {
    const Json& text = member(line, key);
    if (!text.is_string() || !decode_base64(text.get_ref<const std::string&>(), column.data(), column.size() * sizeof(T))) {
        throw std::runtime_error(std::string("column \"") + key + "\" does not hold " + std::to_string(column.size()) +
                                 " values in base64");
    }
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
                 {"source", source_name(record.source)},
                 {"time", number(record.time)},
                 {"wall_time", number(record.wall_time)}},
                out);
}

void append_end_line(std::size_t cycles, std::size_t commands, std::size_t events, std::size_t io, std::string& out) {
    append_line({{"type", "end"}, {"cycles", cycles}, {"commands", commands}, {"events", events}, {"io", io}}, out);
}

RecordingHeader header_from_json(const Json& line) {
    if (member(line, "format") != format_name) {
        throw std::runtime_error(std::string("not a recording: the format is not \"") + format_name + "\"");
    }
    if (const int version = member(line, "version").get<int>(); version > RecordingHeader::format_version) {
        throw std::runtime_error("format version " + std::to_string(version) + " is newer than this library's " +
                                 std::to_string(RecordingHeader::format_version));
    }
    RecordingHeader header;
    header.robot = member(line, "robot").get<std::string>();
    header.environment_robot = member(line, "environment_robot").get<std::string>();
    header.joint_offset = member(line, "joint_offset").get<std::size_t>();
    header.degrees_of_freedom = member(line, "degrees_of_freedom").get<std::size_t>();
    header.delta_time = number_member(line, "delta_time");
    for (const auto& limit : member(line, "limits")) {
        header.limits.push_back({number_member(limit, "min_position"), number_member(limit, "max_position"),
                                 number_member(limit, "max_velocity"), number_member(limit, "max_acceleration"),
                                 number_member(limit, "max_jerk")});
    }
    header.driver_version = member(line, "driver_version").get<std::string>();
    header.started = member(line, "started").get<std::string>();
    return header;
}

CycleChunk chunk_from_json(const Json& line, std::size_t degrees_of_freedom) {
    const auto count = member(line, "count").get<std::size_t>();
    // Eight bytes of a column take more than eight characters of base64, so a
    // count beyond the length of the time column is a broken line, not a reason to allocate.
    const Json& time = member(line, "time");
    if (!time.is_string() || count > time.get_ref<const std::string&>().size()) {
        throw std::runtime_error("a count of " + std::to_string(count) + " cycles does not fit the line");
    }
    CycleChunk chunk(degrees_of_freedom, count);
    chunk.count = count;
    read_column(line, "time", chunk.time);
    read_column(line, "wall_time", chunk.wall_time);
    read_column(line, "scale", chunk.scale);
    read_column(line, "command", chunk.command);
    read_column(line, "position", chunk.position);
    read_column(line, "velocity", chunk.velocity);
    read_column(line, "acceleration", chunk.acceleration);
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
        record.old_value = signal_value_from(old_value);
    }
    record.new_value = signal_value_from(member(line, "new"));
    record.source = source_from(member(line, "source").get<std::string>());
    record.time = number_member(line, "time");
    record.wall_time = number_member(line, "wall_time");
    return record;
}

}  // namespace velmor::drivers::recording
