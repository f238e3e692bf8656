// The lines of the records the program's own timing leaves: marks, dwells and waits.
#include <stdexcept>
#include <string>

#include <velmor/common/bounded_json.hpp>

#include "drivers/recording/json_fields.hpp"
#include "drivers/recording/record_json.hpp"

namespace velmor::drivers::recording {

namespace {

std::string text_member(const Json& line, const char* key) {
    const Json& value = member(line, key);
    if (!value.is_string()) {
        throw std::runtime_error(std::string("\"") + key + "\" is not a text");
    }
    return value.get<std::string>();
}

}  // namespace

void append_record_line(const MarkRecord& record, std::string& out) {
    append_line({{"type", "mark"},
                 {"label", record.label},
                 {"time", number(record.time)},
                 {"wall_time", number(record.wall_time)}},
                out);
}

void append_record_line(const WaitRecord& record, std::string& out) {
    append_line({{"type", "wait"},
                 {"kind", record.kind},
                 {"condition", record.condition},
                 {"start_time", number(record.start_time)},
                 {"start_wall_time", number(record.start_wall_time)},
                 {"end_time", optional_number(record.end_time)},
                 {"end_wall_time", optional_number(record.end_wall_time)},
                 {"held", record.held ? Json(*record.held) : Json(nullptr)}},
                out);
}

MarkRecord mark_from_json(const Json& line) {
    MarkRecord record;
    record.label = text_member(line, "label");
    if (record.label.size() > MarkRecord::max_label_bytes) {
        throw std::runtime_error("the mark's label is longer than " + std::to_string(MarkRecord::max_label_bytes) +
                                 " bytes");
    }
    record.time = number_member(line, "time");
    record.wall_time = number_member(line, "wall_time");
    return record;
}

WaitRecord wait_from_json(const Json& line) {
    WaitRecord record;
    record.kind = text_member(line, "kind");
    if (record.kind != "dwell" && record.kind != "wait") {
        throw std::runtime_error("\"kind\" is " + json_excerpt(record.kind) + ", not \"dwell\" or \"wait\"");
    }
    record.condition = text_member(line, "condition");
    record.start_time = number_member(line, "start_time");
    record.start_wall_time = number_member(line, "start_wall_time");
    record.end_time = optional_number_member(line, "end_time");
    record.end_wall_time = optional_number_member(line, "end_wall_time");
    if (const Json& held = member(line, "held"); held.is_boolean()) {
        record.held = held.get<bool>();
    } else if (!held.is_null()) {
        throw std::runtime_error("\"held\" is neither true, false nor null");
    }
    return record;
}

}  // namespace velmor::drivers::recording
