#include "drivers/recording/mcap/reader.hpp"

#include <charconv>
#include <cstring>
#include <limits>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>

#include <zstd.h>

#include <velmor/common/bounded_json.hpp>
#include <velmor/common/recording_bounds.hpp>
#include <velmor/log/log.hpp>
#include <velmor/velmor_error.hpp>

#include "drivers/recording/cycle_chunk.hpp"
#include "drivers/recording/mcap/crc32.hpp"
#include "drivers/recording/mcap/records.hpp"
#include "drivers/recording/mcap/schemas.hpp"
#include "drivers/recording/record_json.hpp"

namespace velmor::drivers::mcap {

namespace {

using recording::Json;

// Cycles per chunk of a loaded recording, as the recorder makes them.
constexpr std::size_t loaded_chunk_cycles = 4096;

// The fields of one record's content, read in order; running past its end is an error.
class Fields {
public:
    explicit Fields(std::string_view data) : data(data) {}

    template <typename T>
    T take() {
        T value {};
        std::memcpy(&value, bytes(sizeof(T)).data(), sizeof(T));
        return value;
    }
    std::string_view text() { return bytes(take<std::uint32_t>()); }
    std::string_view bytes(std::uint64_t size) {
        if (size > data.size() - at) {
            throw std::runtime_error("a record is shorter than its fields");
        }
        const auto part = data.substr(at, size);
        at += size;
        return part;
    }
    [[nodiscard]] std::string_view rest() const { return data.substr(at); }

private:
    std::string_view data;
    std::size_t at {0};
};

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

    void record(Opcode opcode, std::string_view content, bool in_chunk) {
        Fields fields(content);
        switch (opcode) {
            case Opcode::Channel: {
                const auto id = fields.take<std::uint16_t>();
                fields.take<std::uint16_t>();
                topics[id] = std::string(fields.text());
                break;
            }
            case Opcode::Message:
                message(fields);
                break;
            case Opcode::Chunk:
                if (in_chunk) {
                    throw std::runtime_error("a chunk holds a chunk");
                }
                chunk(fields);
                break;
            default:
                break;
        }
    }

    void finish() {
        if (!has_header) {
            throw std::runtime_error("it holds no scene message with the recorded robot");
        }
    }

private:
    void chunk(Fields& fields) {
        fields.take<std::uint64_t>();
        fields.take<std::uint64_t>();
        const auto size = fields.take<std::uint64_t>();
        const auto crc = fields.take<std::uint32_t>();
        const std::string_view compression = fields.text();
        const std::string_view stored = fields.bytes(fields.take<std::uint64_t>());
        if (size > max_record_bytes) {
            throw std::runtime_error("a chunk claims " + std::to_string(size) + " bytes, more than " +
                                     std::to_string(max_record_bytes));
        }
        std::string_view records = stored;
        if (compression == "zstd") {
            const auto frame = ZSTD_getFrameContentSize(stored.data(), stored.size());
            if (frame != size) {
                throw std::runtime_error("a chunk's zstd frame does not hold the " + std::to_string(size) +
                                         " bytes it claims");
            }
            plain.resize(size);
            const auto made = ZSTD_decompress(plain.data(), plain.size(), stored.data(), stored.size());
            if (ZSTD_isError(made) != 0U || made != size) {
                throw std::runtime_error("a chunk could not be decompressed");
            }
            records = plain;
        } else if (!compression.empty()) {
            throw std::runtime_error("a chunk is compressed with " + json_excerpt(std::string(compression)) +
                                     ", which this library does not read");
        } else if (stored.size() != size) {
            throw std::runtime_error("a chunk does not hold the " + std::to_string(size) + " bytes it claims");
        }
        if (crc != 0 && crc32(0, records) != crc) {
            throw std::runtime_error("a chunk's CRC does not match its content");
        }
        Fields inner(records);
        while (!inner.rest().empty()) {
            const auto opcode = static_cast<Opcode>(inner.take<std::uint8_t>());
            record(opcode, inner.bytes(inner.take<std::uint64_t>()), true);
        }
    }

    void message(Fields& fields) {
        const auto found = topics.find(fields.take<std::uint16_t>());
        if (found == topics.end()) {
            throw std::runtime_error("a message comes before its channel");
        }
        fields.take<std::uint32_t>();
        fields.take<std::uint64_t>();
        fields.take<std::uint64_t>();
        if (++messages > max_messages) {
            throw std::runtime_error("it holds more than " + std::to_string(max_messages) + " messages");
        }
        const std::string& topic = found->second;
        if (topic == joint_states_channel.topic && has_header) {
            CycleChunk& chunk = next_row();
            if (StateScanner(fields.rest()).read(chunk, chunk.count)) {
                ++chunk.count;
                return;
            }
        }
        bool too_deep = false;
        const Json parsed = parse_bounded_json(fields.rest(), too_deep);
        if (too_deep) {
            throw std::runtime_error("a message is nested more than " + std::to_string(max_json_nesting) + " deep");
        }
        if (parsed.is_discarded() || !parsed.is_object()) {
            throw std::runtime_error("a message on " + topic + " is not a JSON object");
        }
        if (topic == scene_channel.topic) {
            recording.header = recording::header_from_json(parsed);
            has_header = true;
            return;
        }
        if (!has_header) {
            throw std::runtime_error("a message on " + topic + " comes before the scene");
        }
        if (topic == joint_states_channel.topic) {
            joint_state(parsed);
        } else if (topic == commands_channel.topic) {
            recording.commands.push_back(recording::command_from_json(parsed));
        } else if (topic == events_channel.topic) {
            recording.events.push_back(recording::event_from_json(parsed));
        } else if (topic == io_channel.topic) {
            recording.io.push_back(recording::io_from_json(parsed));
        } else {
            throw std::runtime_error("unknown channel " + json_excerpt(topic));
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
    std::map<std::uint16_t, std::string> topics;
    std::string plain;
    std::uint64_t messages {0};
    bool has_header {false};
};

// Reads `size` bytes; false when the file ends first.
bool read_exactly(std::istream& stream, std::string& out, std::size_t size) {
    out.resize(size);
    stream.read(out.data(), static_cast<std::streamsize>(size));
    return static_cast<std::size_t>(stream.gcount()) == size;
}

}  // namespace

bool starts_with_magic(std::istream& stream) {
    char start[magic.size()] {};
    stream.read(start, sizeof(start));
    if (static_cast<std::size_t>(stream.gcount()) == sizeof(start) && std::string_view(start, sizeof(start)) == magic) {
        return true;
    }
    stream.clear();
    stream.seekg(0);
    return false;
}

std::shared_ptr<Recording> load(std::istream& stream, const std::filesystem::path& path) {
    auto recording = std::make_shared<Recording>();
    McapLoader loader(*recording);
    std::string prefix;
    std::string content;
    std::uint64_t position = magic.size();
    std::size_t chunks = 0;
    bool ended = false;
    try {
        while (!ended && read_exactly(stream, prefix, record_prefix)) {
            const auto opcode = static_cast<Opcode>(prefix[0]);
            std::uint64_t length = 0;
            std::memcpy(&length, prefix.data() + 1, sizeof(length));
            if (length > max_record_bytes) {
                throw std::runtime_error("a record claims " + std::to_string(length) + " bytes, more than " +
                                         std::to_string(max_record_bytes));
            }
            if (!read_exactly(stream, content, length)) {
                break;
            }
            loader.record(opcode, content, false);
            chunks += opcode == Opcode::Chunk ? 1 : 0;
            ended = opcode == Opcode::DataEnd;
            position += record_prefix + length;
        }
        loader.finish();
    } catch (const std::exception& error) {
        throw VelmorError("recording", "Could not read the recording '" + path.string() + "' at byte " +
                                           std::to_string(position) + ": " + error.what() + ".");
    }
    if (!ended) {
        log::log_<log::Level::Warn>("recording", "The recording '" + path.string() + "' is cut short after byte " +
                                                     std::to_string(position) + ": the run that wrote it did not " +
                                                     "finish it; its " + std::to_string(chunks) +
                                                     " complete chunks were read.");
    }
    return recording;
}

}  // namespace velmor::drivers::mcap
