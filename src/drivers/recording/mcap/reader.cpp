#include "drivers/recording/mcap/reader.hpp"

#include <charconv>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>
#include <string_view>

#include <velmor/common/bounded_json.hpp>
#include <velmor/common/recording_bounds.hpp>
#include <velmor/log/log.hpp>
#include <velmor/velmor_error.hpp>

#include <velmor/mcap/message_reader.hpp>

#include "drivers/recording/cycle_chunk.hpp"
#include "drivers/recording/mcap/schemas.hpp"
#include "drivers/recording/json_fields.hpp"
#include "drivers/recording/record_json.hpp"

namespace velmor::drivers::mcap {

namespace {

using recording::Json;

// Cycles per chunk of a loaded recording, as the recorder makes them.
constexpr std::size_t loaded_chunk_cycles = 4096;

// Reads the joint-state messages in the layout RecordingWriter gives them, without
// building a JSON value: a tenth of the time. Anything else, or anything it does not
// expect, leaves it to the JSON parser.
class StateScanner {
public:
    explicit StateScanner(std::string_view text) : text(text) {}

    bool read(CycleChunk& chunk, std::size_t row) {
        const std::size_t joints = chunk.degrees_of_freedom;
        std::int64_t command = 0;
        if (!(literal("{\"time\":") && number(chunk.time[row]) && literal(",\"wall_time\":") &&
              number(chunk.wall_time[row]) && literal(",\"scale\":") && number(chunk.scale[row]) &&
              literal(",\"command\":") && integer(command) && literal(",\"name\":["))) {
            return false;
        }
        chunk.command[row] = command;
        at = text.find(']', at);
        if (at == std::string_view::npos) {
            return false;
        }
        ++at;
        for (const auto& [key, column] : {std::pair {",\"position\":[", &chunk.position},
                                          std::pair {",\"velocity\":[", &chunk.velocity},
                                          std::pair {",\"acceleration\":[", &chunk.acceleration}}) {
            if (!literal(key)) {
                return false;
            }
            for (std::size_t j = 0; j < joints; ++j) {
                if ((j > 0 && !literal(",")) || !number((*column)[row * joints + j])) {
                    return false;
                }
            }
            if (!literal("]")) {
                return false;
            }
        }
        return literal("}") && at == text.size();
    }

private:
    bool literal(std::string_view expected) {
        if (text.substr(at, expected.size()) != expected) {
            return false;
        }
        at += expected.size();
        return true;
    }
    bool number(double& value) {
        for (const auto& [word, meaning] : {std::pair {"\"nan\"", std::numeric_limits<double>::quiet_NaN()},
                                            std::pair {"\"inf\"", std::numeric_limits<double>::infinity()},
                                            std::pair {"\"-inf\"", -std::numeric_limits<double>::infinity()}}) {
            if (literal(word)) {
                value = meaning;
                return true;
            }
        }
        // JSON allows no leading '+' or '.', nor a bare "inf", all of which from_chars would take.
        const std::size_t digit = at < text.size() && text[at] == '-' ? at + 1 : at;
        if (digit >= text.size() || text[digit] < '0' || text[digit] > '9') {
            return false;
        }
        const auto [end, error] = std::from_chars(text.data() + at, text.data() + text.size(), value);
        at = static_cast<std::size_t>(end - text.data());
        return error == std::errc();
    }
    bool integer(std::int64_t& value) {
        const auto [end, error] = std::from_chars(text.data() + at, text.data() + text.size(), value);
        at = static_cast<std::size_t>(end - text.data());
        return error == std::errc() && (at == text.size() || text[at] != '.');
    }

    std::string_view text;
    std::size_t at {0};
};

class McapLoader {
public:
    explicit McapLoader(Recording& recording) : recording(recording) {}

    void finish() const {
        if (!has_header) {
            throw std::runtime_error("it holds no scene message with the recorded robot");
        }
    }

    void message(const velmor::mcap::Message& message) {
        if (++messages > max_messages) {
            throw std::runtime_error("it holds more than " + std::to_string(max_messages) + " messages");
        }
        const std::string_view topic = message.topic;
        // Tool poses follow from the joint states; a loaded recording has no arms to carry them again.
        if (topic == tool_pose_channel.topic) {
            return;
        }
        if (topic == joint_states_channel.topic && has_header) {
            CycleChunk& chunk = next_row();
            if (StateScanner(message.data).read(chunk, chunk.count)) {
                ++chunk.count;
                return;
            }
        }
        bool too_deep = false;
        const Json parsed = parse_bounded_json(message.data, too_deep);
        if (too_deep) {
            throw std::runtime_error("a message is nested more than " + std::to_string(max_json_nesting) + " deep");
        }
        if (parsed.is_discarded() || !parsed.is_object()) {
            throw std::runtime_error("a message on " + std::string(topic) + " is not a JSON object");
        }
        if (topic == scene_channel.topic) {
            recording.header = recording::header_from_json(parsed);
            has_header = true;
            return;
        }
        if (!has_header) {
            throw std::runtime_error("a message on " + std::string(topic) + " comes before the scene");
        }
        if (topic == joint_states_channel.topic) {
            joint_state(parsed);
        } else if (topic == commands_channel.topic) {
            recording.commands.push_back(recording::command_from_json(parsed));
        } else if (topic == events_channel.topic) {
            recording.events.push_back(recording::event_from_json(parsed));
        } else if (topic == io_channel.topic) {
            recording.io.push_back(recording::io_from_json(parsed));
        } else if (topic == marks_channel.topic) {
            recording.marks.push_back(recording::mark_from_json(parsed));
        } else if (topic == waits_channel.topic) {
            recording.waits.push_back(recording::wait_from_json(parsed));
        } else {
            throw std::runtime_error("unknown channel " + json_excerpt(std::string(topic)));
        }
    }

    // The chunk that takes the next cycle.
    CycleChunk& next_row() {
        if (recording.chunks.empty() || recording.chunks.back()->full()) {
            recording.chunks.push_back(
                std::make_unique<CycleChunk>(recording.header.degrees_of_freedom, loaded_chunk_cycles));
        }
        return *recording.chunks.back();
    }

private:
    void joint_state(const Json& state) {
        const std::size_t joints = recording.header.degrees_of_freedom;
        CycleChunk& chunk = next_row();
        const std::size_t row = chunk.count;
        chunk.time[row] = recording::number_from(state.at("time"), "time");
        chunk.wall_time[row] = recording::number_from(state.at("wall_time"), "wall_time");
        chunk.scale[row] = recording::number_from(state.at("scale"), "scale");
        chunk.command[row] = state.at("command").get<std::int64_t>();
        for (const auto& [key, column] : {std::pair {"position", &chunk.position},
                                          std::pair {"velocity", &chunk.velocity},
                                          std::pair {"acceleration", &chunk.acceleration}}) {
            const Json& values = state.at(key);
            if (!values.is_array() || values.size() != joints) {
                throw std::runtime_error(std::string("\"") + key + "\" is not a list of " + std::to_string(joints) +
                                         " numbers");
            }
            for (std::size_t j = 0; j < joints; ++j) {
                (*column)[row * joints + j] = recording::number_from(values[j], key);
            }
        }
        ++chunk.count;
    }

    Recording& recording;
    std::uint64_t messages {0};
    bool has_header {false};
};

}  // namespace

std::shared_ptr<Recording> load(std::istream& stream, const std::filesystem::path& path) {
    auto recording = std::make_shared<Recording>();
    McapLoader loader(*recording);
    std::uint64_t position = 0;
    velmor::mcap::ReadOutcome outcome;
    try {
        outcome = velmor::mcap::read_messages(
            stream, [&loader](const velmor::mcap::Message& message) { loader.message(message); }, position);
        loader.finish();
    } catch (const std::exception& error) {
        throw VelmorError("recording", "Could not read the recording '" + path.string() + "' at byte " +
                                           std::to_string(position) + ": " + error.what() + ".");
    }
    if (!outcome.ended) {
        log::log_<log::Level::Warn>("recording", "The recording '" + path.string() + "' is cut short after byte " +
                                                     std::to_string(position) + ": the run that wrote it did not " +
                                                     "finish it; its " + std::to_string(outcome.chunks) +
                                                     " complete chunks were read.");
    }
    return recording;
}

}  // namespace velmor::drivers::mcap
