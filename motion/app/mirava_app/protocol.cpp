#include "mirava_app/protocol.hpp"

#include <cmath>

#include <nlohmann/json.hpp>

#include <velmor/common/bounded_json.hpp>
#include <velmor/common/velmor_error.hpp>
#include <velmor/motion/scene_json.hpp>

namespace velmor::mirava_app {

DriverMessage parse_driver_message(std::string_view text, std::size_t joint_count) {
    const auto refuse = [](std::string error) { return DriverMessage {{}, std::nullopt, std::move(error)}; };
    bool too_deep = false;
    const auto message = parse_bounded_json(text, too_deep);
    if (too_deep) {
        return refuse("nested more than " + std::to_string(max_json_nesting) + " deep");
    }
    if (message.is_discarded()) {
        return refuse("not JSON");
    }
    if (!message.is_object()) {
        return refuse("not a JSON object");
    }
    const auto type = message.find("type");
    if (type != message.end() && *type == "obstacles") {
        try {
            DriverMessage accepted;
            accepted.obstacles = scene_from_json(std::string(text));
            return accepted;
        } catch (const VelmorError& error) {
            return refuse("obstacles: " + error.message);
        }
    }
    if (type == message.end() || *type != "joint_position") {
        return refuse("\"type\" is neither \"joint_position\" nor \"obstacles\"");
    }
    const auto robot = message.find("robot");
    if (robot != message.end() && !robot->is_string()) {
        return refuse("\"robot\" is not a string");
    }
    const auto position = message.find("position");
    if (position == message.end() || !position->is_array()) {
        return refuse("\"position\" is not an array");
    }
    if (position->size() != joint_count) {
        return refuse("\"position\" has " + std::to_string(position->size()) + " values for a robot of " +
                      std::to_string(joint_count) + " joints");
    }
    DriverMessage accepted;
    accepted.position.reserve(joint_count);
    for (const auto& value : *position) {
        if (!value.is_number() || !std::isfinite(value.get<double>())) {
            return refuse("\"position\" holds a value that is not a finite number");
        }
        accepted.position.push_back(value.get<double>());
    }
    return accepted;
}

std::string joint_position_message(const std::vector<double>& position,
                                   const std::vector<std::pair<std::size_t, std::size_t>>& in_contact) {
    return nlohmann::json {{"type", "joint_position"}, {"position", position}, {"in_contact", in_contact}}.dump();
}

std::string obstacles_message(const std::map<std::string, Shape>& obstacles) {
    auto message = nlohmann::json::parse(scene_to_json(obstacles));
    message["type"] = "obstacles";
    return message.dump();
}

std::string status_message(const std::string& robot_name, bool driver_connected) {
    return nlohmann::json {{"type", "status"}, {"robot", robot_name}, {"driver_connected", driver_connected}}.dump();
}

}  // namespace velmor::mirava_app
