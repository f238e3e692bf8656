#include <velmor/motion/trajectory_json.hpp>

#include <cmath>
#include <fstream>
#include <sstream>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include <velmor/common/velmor_error.hpp>

namespace velmor {

namespace {

using Samples = std::vector<std::vector<double>>;

void check_finite(const SampleColumn& samples, const char* what) {
    for (std::size_t i = 0; i < samples.size(); ++i) {
        for (const double value : samples[i]) {
            if (!std::isfinite(value)) {
                throw VelmorError("trajectory", std::string("Sample ") + std::to_string(i) + " has a non-finite " +
                                                    what + ", which JSON cannot hold.");
            }
        }
    }
}

template <typename T>
T read_key(const nlohmann::json& object, const char* key) {
    const auto item = object.find(key);
    if (item == object.end()) {
        throw VelmorError("trajectory", std::string("The JSON trajectory has no key '") + key + "'.");
    }
    try {
        return item->get<T>();
    } catch (const nlohmann::json::exception& error) {
        throw VelmorError("trajectory", std::string("The key '") + key + "' has the wrong type: " + error.what());
    }
}

}  // namespace

std::string to_json(const Trajectory& trajectory) {
    check_finite(trajectory.positions(), "position");
    check_finite(trajectory.velocities(), "velocity");
    check_finite(trajectory.accelerations(), "acceleration");
    const nlohmann::json object {
        {"id", trajectory.id},
        {"motion", trajectory.motion},
        {"times", trajectory.times()},
        {"positions", trajectory.positions().rows()},
        {"velocities", trajectory.velocities().rows()},
        {"accelerations", trajectory.accelerations().rows()},
    };
    return object.dump();
}

Trajectory trajectory_from_json(const std::string& text) {
    nlohmann::json object;
    try {
        object = nlohmann::json::parse(text);
    } catch (const nlohmann::json::parse_error& error) {
        throw VelmorError("trajectory", std::string("The JSON trajectory cannot be parsed: ") + error.what());
    }
    if (!object.is_object()) {
        throw VelmorError("trajectory", "The JSON trajectory is not an object.");
    }
    // Keys are read one by one, so that the first missing key in file order is the one reported.
    auto id = read_key<std::string>(object, "id");
    auto motion = read_key<std::string>(object, "motion");
    auto times = read_key<std::vector<double>>(object, "times");
    auto positions = read_key<Samples>(object, "positions");
    auto velocities = read_key<Samples>(object, "velocities");
    auto accelerations = read_key<Samples>(object, "accelerations");
    Trajectory trajectory(std::move(times), std::move(positions), std::move(velocities), std::move(accelerations));
    trajectory.id = std::move(id);
    trajectory.motion = std::move(motion);
    return trajectory;
}

void save_trajectory(const Trajectory& trajectory, const std::string& path) {
    const std::string text = to_json(trajectory);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    if (!file) {
        throw VelmorError("trajectory", "Could not write the trajectory file '" + path + "'.");
    }
}

Trajectory load_trajectory(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw VelmorError("trajectory", "Could not open the trajectory file '" + path + "'.");
    }
    std::ostringstream text;
    text << file.rdbuf();
    if (file.bad()) {
        throw VelmorError("trajectory", "Could not read the trajectory file '" + path + "'.");
    }
    return trajectory_from_json(text.str());
}

}  // namespace velmor
