// The lines of a recording file: JSON Lines, one header line, one line per
// chunk of cycles (columns as base64 of little-endian 64-bit values), one line
// per command, event and I/O change, and an end line with the counts.
#pragma once

#include <cstddef>
#include <string>

#include <nlohmann/json.hpp>

#include <velmor/drivers/recording/recording.hpp>

#include "drivers/recording/cycle_chunk.hpp"

namespace velmor::drivers::recording {

using Json = nlohmann::json;

//! Name of the format, in the header line.
inline constexpr const char* format_name = "velmor-recording";

//! Appends the line of `header`, with its newline, to `out`.
void append_header_line(const RecordingHeader& header, std::string& out);
//! Appends the line of `chunk`, with its newline, to `out`.
void append_chunk_line(const CycleChunk& chunk, std::string& out);
//! Appends the line of a record, with its newline, to `out`.
void append_record_line(const CommandRecord& record, std::string& out);
void append_record_line(const EventRecord& record, std::string& out);
void append_record_line(const IoRecord& record, std::string& out);
//! Appends the end line, with the numbers of cycles and records, to `out`.
void append_end_line(std::size_t cycles, std::size_t commands, std::size_t events, std::size_t io, std::string& out);

//! A number of a line, NaN and infinities written as strings included; `key` names it in
//! the std::runtime_error thrown for anything else.
double number_from(const Json& value, const char* key);

//! The header of a header line; throws std::runtime_error with the reason when it is not one.
RecordingHeader header_from_json(const Json& line);
//! The chunk of a cycles line of a recording with `degrees_of_freedom` joints; throws std::runtime_error.
CycleChunk chunk_from_json(const Json& line, std::size_t degrees_of_freedom);
//! The record of a command, event or I/O line; throw std::runtime_error.
CommandRecord command_from_json(const Json& line);
EventRecord event_from_json(const Json& line);
IoRecord io_from_json(const Json& line);

}  // namespace velmor::drivers::recording
