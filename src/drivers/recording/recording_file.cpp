// Saving a recording as JSON Lines, CSV or MCAP, and loading it back.
#include <velmor/drivers/recording/recording.hpp>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include <velmor/common/bounded_json.hpp>
#include <velmor/common/recording_bounds.hpp>
#include <velmor/log/log.hpp>
#include <velmor/mcap/message_reader.hpp>
#include <velmor/velmor_error.hpp>

#include "drivers/recording/mcap/reader.hpp"
#include "drivers/recording/mcap/recording_writer.hpp"
#include "drivers/recording/output_file.hpp"
#include "drivers/recording/record_json.hpp"

namespace velmor::drivers {

namespace {

using recording::Json;

void append_number(double value, std::string& out) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof(text), value).ptr;
    out.append(text, end);
}

void save_csv(const Recording& recording, const std::filesystem::path& path) {
    recording::OutputFile file(path);
    const std::size_t joints = recording.header.degrees_of_freedom;
    std::string text = "time,wall_time,scale,command";
    for (const char* quantity : {"position", "velocity", "acceleration"}) {
        for (std::size_t j = 1; j <= joints; ++j) {
            text += ',';
            text += quantity;
            text += '_';
            text += std::to_string(j);
        }
    }
    text += '\n';
    for (const auto& chunk : recording.chunks) {
        for (std::size_t i = 0; i < chunk->count; ++i) {
            append_number(chunk->time[i], text);
            text += ',';
            append_number(chunk->wall_time[i], text);
            text += ',';
            append_number(chunk->scale[i], text);
            text += ',';
            text += std::to_string(chunk->command[i]);
            for (const auto* column : {&chunk->position, &chunk->velocity, &chunk->acceleration}) {
                for (std::size_t j = 0; j < joints; ++j) {
                    text += ',';
                    append_number((*column)[i * joints + j], text);
                }
            }
            text += '\n';
        }
        file.write(text);
    }
    file.write(text);
    file.finish();
}

void save_json_lines(const Recording& recording, const std::filesystem::path& path) {
    recording::OutputFile file(path);
    std::string text;
    recording::append_header_line(recording.header, text);
    for (const auto& chunk : recording.chunks) {
        recording::append_chunk_line(*chunk, text);
        file.write(text);
    }
    for (const auto& record : recording.commands) {
        recording::append_record_line(record, text);
    }
    for (const auto& record : recording.events) {
        recording::append_record_line(record, text);
    }
    for (const auto& record : recording.io) {
        recording::append_record_line(record, text);
    }
    for (const auto& record : recording.marks) {
        recording::append_record_line(record, text);
    }
    for (const auto& record : recording.waits) {
        recording::append_record_line(record, text);
    }
    const recording::RecordCounts counts {recording.commands.size(), recording.events.size(), recording.io.size(),
                                          recording.marks.size(), recording.waits.size()};
    recording::append_end_line(recording.cycle_count(), counts, text);
    file.write(text);
    file.finish();
}

bool is_csv(const std::filesystem::path& path) {
    std::string extension = path.extension().string();
    for (char& c : extension) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return extension == ".csv";
}

}  // namespace

void Recording::save(const std::filesystem::path& path, McapCompression compression) const {
    if (is_running()) {
        throw VelmorError("recording", "The recording is still running; stop it before saving it.");
    }
    if (is_on_file_only()) {
        throw VelmorError("recording", "This recording was streamed to '" + stream_path->string() +
                                           "'; read it back before saving it elsewhere.");
    }
    if (is_csv(path)) {
        save_csv(*this, path);
    } else if (mcap::is_mcap_path(path)) {
        mcap::save(*this, path, compression);
    } else {
        save_json_lines(*this, path);
    }
}

std::shared_ptr<Recording> Recording::load(const std::filesystem::path& path) {
    std::ifstream stream(path, std::ios::binary);
    if (!stream.is_open()) {
        throw VelmorError("recording", "Could not open the recording '" + path.string() + "'.");
    }
    // Told apart by their first bytes, whatever the name says.
    if (velmor::mcap::starts_with_magic(stream)) {
        return mcap::load(stream, path);
    }
    auto recording = std::make_shared<Recording>();
    std::string line;
    std::size_t number = 0;
    bool has_header = false;
    bool ended = false;
    try {
        bool complete = false;
        while (recording_bounds::read_line(stream, line, complete)) {
            ++number;
            if (line.empty()) {
                continue;
            }
            bool too_deep = false;
            Json parsed = parse_bounded_json(line, too_deep);
            if (too_deep) {
                throw std::runtime_error("values are nested more than " + std::to_string(max_json_nesting) + " deep");
            }
            if (parsed.is_discarded() || !parsed.is_object()) {
                // A run that was stopped from outside may leave its last line cut short.
                if (!complete) {
                    log::log_<log::Level::Warn>("recording", "The last line of the recording '" + path.string() +
                                                                 "' is cut short; it was left out.");
                    break;
                }
                throw std::runtime_error("not a JSON object");
            }
            const std::string type = parsed.value("type", "");
            if (!has_header) {
                if (type != "header") {
                    throw std::runtime_error("the first line is not the header of a recording");
                }
                recording->header = recording::header_from_json(parsed);
                has_header = true;
            } else if (type == "cycles") {
                recording->chunks.push_back(std::make_unique<CycleChunk>(
                    recording::chunk_from_json(parsed, recording->header.degrees_of_freedom)));
            } else if (type == "command") {
                recording->commands.push_back(recording::command_from_json(parsed));
            } else if (type == "event") {
                recording->events.push_back(recording::event_from_json(parsed));
            } else if (type == "io") {
                recording->io.push_back(recording::io_from_json(parsed));
            } else if (type == "mark") {
                recording->marks.push_back(recording::mark_from_json(parsed));
            } else if (type == "wait") {
                recording->waits.push_back(recording::wait_from_json(parsed));
            } else if (type == "end") {
                ended = true;
            } else {
                throw std::runtime_error("unknown line type " + json_excerpt(type));
            }
        }
    } catch (const std::exception& error) {
        throw VelmorError("recording", "Could not read the recording '" + path.string() + "', line " +
                                           std::to_string(number) + ": " + error.what() + ".");
    }
    if (!has_header) {
        throw VelmorError("recording", "Could not read the recording '" + path.string() + "': it is empty.");
    }
    if (!ended) {
        log::log_<log::Level::Warn>("recording", "The recording '" + path.string() +
                                                     "' has no end line: the run that wrote it did not finish it.");
    }
    return recording;
}

}  // namespace velmor::drivers
