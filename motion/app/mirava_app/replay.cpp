#include "mirava_app/replay.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <vector>

#include <nlohmann/json.hpp>

#include <velmor/common/bounded_json.hpp>
#include <velmor/common/recording_bounds.hpp>
#include <velmor/common/velmor_error.hpp>
#include <velmor/motion/scene_json.hpp>
#include <velmor/mcap/message_reader.hpp>

namespace velmor::mirava_app {

namespace {

using Json = nlohmann::json;
using namespace velmor::recording_bounds;

// Positions are sent to the page to a hundred-thousandth of a radian.
constexpr double position_resolution = 1e5;

std::array<std::uint8_t, 256> decoding_table() {
    std::array<std::uint8_t, 256> table {};
    table.fill(0xFF);
    const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (std::uint8_t i = 0; i < 64; ++i) {
        table[static_cast<unsigned char>(alphabet[i])] = i;
    }
    return table;
}

// The little-endian doubles of a base64 column; `count` of them or an error.
std::vector<double> decode_column(const Json& line, const char* key, std::size_t count) {
    static const auto table = decoding_table();
    const auto found = line.find(key);
    if (found == line.end() || !found->is_string()) {
        throw std::runtime_error(std::string("no column \"") + key + "\"");
    }
    const auto& text = found->get_ref<const std::string&>();
    std::vector<std::uint8_t> bytes;
    bytes.reserve(text.size() / 4 * 3);
    std::uint32_t group = 0;
    int bits = 0;
    for (const char c : text) {
        if (c == '=') {
            break;
        }
        const std::uint8_t value = table[static_cast<unsigned char>(c)];
        if (value == 0xFF) {
            throw std::runtime_error(std::string("column \"") + key + "\" is not base64");
        }
        group = (group << 6) | value;
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes.push_back(static_cast<std::uint8_t>(group >> bits));
        }
    }
    if (bytes.size() != count * sizeof(double)) {
        throw std::runtime_error(std::string("column \"") + key + "\" does not hold " + std::to_string(count) +
                                 " values");
    }
    std::vector<double> values(count);
    std::memcpy(values.data(), bytes.data(), bytes.size());
    return values;
}

// Recording files write NaN and infinities as strings; the page gets null for them.
Json number(const Json& value) {
    return value.is_number() ? value : Json(nullptr);
}

// A size from the file, refused beyond `limit`.
std::size_t bounded(const Json& value, const char* what, std::size_t limit) {
    if (!value.is_number_unsigned() || value.get<std::uint64_t>() > limit) {
        throw std::runtime_error(std::string(what) + " is not a whole number from 0 to " + std::to_string(limit));
    }
    return value.get<std::size_t>();
}

// Parses one line; a discarded value when it is no JSON.
Json parse_line(const std::string& text) {
    bool too_deep = false;
    Json line = parse_bounded_json(text, too_deep);
    if (too_deep) {
        throw std::runtime_error("values are nested more than " + std::to_string(max_json_nesting) + " deep");
    }
    return line;
}

struct Reader {
    Json header;
    std::size_t joints {0};
    std::size_t cycles {0};
    Json times = Json::array();
    Json positions = Json::array();
    Json commands = Json::array();
    Json events = Json::array();
    Json io = Json::array();
    double next_kept {0.0};
    // The newest sample not kept, sent last so that the replay ends where the run did.
    std::optional<std::pair<double, std::vector<double>>> last;
    std::vector<double> row;

    void keep(double time, const double* position) {
        Json row = Json::array();
        for (std::size_t j = 0; j < joints; ++j) {
            row.push_back(std::round(position[j] * position_resolution) / position_resolution);
        }
        times.push_back(time);
        positions.push_back(std::move(row));
        next_kept = time + 1.0 / replay_samples_per_second;
        last.reset();
    }

    void read_cycles(const Json& line) {
        const auto count = bounded(line.at("count"), "the cycle count", max_cycles_per_line);
        const auto time = decode_column(line, "time", count);
        const auto position = decode_column(line, "position", count * joints);
        for (std::size_t i = 0; i < count; ++i) {
            sample(time[i], &position[i * joints]);
        }
    }

    void sample(double time, const double* position) {
        if (cycles == 0 || time >= next_kept) {
            keep(time, position);
        } else {
            last.emplace(time, std::vector<double>(position, position + joints));
        }
        ++cycles;
    }

    // A message of an MCAP recording: the scene and the records hold the lines of
    // a JSON Lines recording; a joint state is one cycle.
    void read_message(const velmor::mcap::Message& message) {
        const Json value = parse_line(std::string(message.data));
        if (value.is_discarded() || !value.is_object()) {
            throw std::runtime_error("a message is not a JSON object");
        }
        if (message.topic != "/velmor/joint_states") {
            read(value);
            return;
        }
        if (header.is_null()) {
            throw std::runtime_error("a joint state comes before the scene");
        }
        const Json& position = value.at("position");
        if (!position.is_array() || position.size() != joints) {
            throw std::runtime_error("a joint state does not hold " + std::to_string(joints) + " positions");
        }
        row.resize(joints);
        for (std::size_t j = 0; j < joints; ++j) {
            row[j] = position[j].is_number() ? position[j].get<double>() : std::nan("");
        }
        sample(value.at("time").get<double>(), row.data());
    }

    void read(const Json& line) {
        const std::string type = line.value("type", "");
        if (type == "header") {
            if (line.value("format", "") != "velmor-recording") {
                throw std::runtime_error("not a recording of a velmor driver");
            }
            if (const auto version = line.find("version"); version != line.end() && *version != 1) {
                throw std::runtime_error("the recording format version is not 1");
            }
            joints = bounded(line.at("degrees_of_freedom"), "the number of joints", max_degrees_of_freedom);
            if (joints == 0) {
                throw std::runtime_error("the recording has no joints");
            }
            if (const auto offset = line.find("joint_offset"); offset != line.end()) {
                bounded(*offset, "the joint offset", max_joint_offset);
            }
            header = line;
        } else if (header.is_null()) {
            throw std::runtime_error("the first line is not the header of a recording");
        } else if (type == "cycles") {
            read_cycles(line);
        } else if (type == "command") {
            commands.push_back({{"index", line.at("index")},
                                {"kind", line.at("kind")},
                                {"arguments", line.at("arguments")},
                                {"start_time", number(line.at("start_time"))},
                                {"end_time", number(line.at("end_time"))}});
        } else if (type == "event") {
            events.push_back({{"event", line.at("event")}, {"time", number(line.at("time"))}});
        } else if (type == "io") {
            io.push_back({{"name", line.at("name")},
                          {"old", line.at("old")},
                          {"new", line.at("new")},
                          {"source", line.at("source")},
                          {"time", number(line.at("time"))}});
        }
    }
};

}  // namespace

Replay read_replay(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw VelmorError("mirava", "Cannot open the recording '" + path.string() + "'.");
    }
    Reader reader;
    std::string text;
    std::size_t number = 0;
    std::uint64_t position = 0;
    const bool mcap = velmor::mcap::starts_with_magic(file);
    try {
        if (mcap) {
            // A file cut short gives its complete chunks, as a JSON Lines file its complete lines.
            velmor::mcap::read_messages(
                file, [&reader](const velmor::mcap::Message& message) { reader.read_message(message); }, position);
        }
        bool complete = false;
        while (!mcap && read_line(file, text, complete)) {
            ++number;
            if (text.empty()) {
                continue;
            }
            const Json line = parse_line(text);
            if (line.is_discarded() || !line.is_object()) {
                // A run that was stopped from outside may leave its last line cut short.
                if (!complete) {
                    break;
                }
                throw std::runtime_error("not a JSON object");
            }
            reader.read(line);
        }
    } catch (const std::exception& error) {
        throw VelmorError("mirava", "Cannot read the recording '" + path.string() + "', " +
                                        (mcap ? "byte " + std::to_string(position) : "line " + std::to_string(number)) +
                                        ": " + error.what() + ".");
    }
    if (reader.header.is_null()) {
        throw VelmorError("mirava", "The recording '" + path.string() + "' is empty.");
    }
    if (reader.last) {
        reader.keep(reader.last->first, reader.last->second.data());
    }
    Replay replay;
    replay.environment_robot = reader.header.value("environment_robot", "");
    replay.joint_offset = reader.header.value("joint_offset", std::size_t {0});
    replay.degrees_of_freedom = reader.joints;
    if (const auto scene = reader.header.find("scene"); scene != reader.header.end()) {
        try {
            replay.obstacles = scene_from_json(scene->dump());
        } catch (const VelmorError& error) {
            throw VelmorError("mirava", "Cannot read the scene of the recording '" + path.string() + "': " +
                                            error.message);
        }
    }
    // I/O may change and commands may end after the last cycle, while the driver stands idle.
    double duration = reader.times.empty() ? 0.0 : reader.times.back().get<double>();
    for (const Json* records : {&reader.io, &reader.commands}) {
        for (const auto& record : *records) {
            for (const char* key : {"time", "end_time"}) {
                if (const auto found = record.find(key); found != record.end() && found->is_number()) {
                    duration = std::max(duration, found->get<double>());
                }
            }
        }
    }
    replay.json = Json {{"file", path.filename().string()},
                        {"robot", reader.header.value("robot", "")},
                        {"environment_robot", replay.environment_robot},
                        {"joint_offset", replay.joint_offset},
                        {"degrees_of_freedom", replay.degrees_of_freedom},
                        {"duration", duration},
                        {"cycles", reader.cycles},
                        {"times", std::move(reader.times)},
                        {"positions", std::move(reader.positions)},
                        {"commands", std::move(reader.commands)},
                        {"events", std::move(reader.events)},
                        {"io", std::move(reader.io)}}
                      .dump();
    return replay;
}

std::string view_json(bool replay, const std::map<std::string, Shape>& obstacles) {
    const auto shown = replay ? obstacles : std::map<std::string, Shape> {};
    return Json {{"replay", replay}, {"obstacles", Json::parse(scene_to_json(shown)).at("obstacles")}}.dump();
}

}  // namespace velmor::mirava_app
