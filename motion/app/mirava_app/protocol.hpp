#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <velmor/motion/shapes.hpp>

namespace velmor::mirava_app {

//! Outcome of reading one message of a driver client.
struct DriverMessage {
    //! The joint position [rad], one entry per joint of the shown robot; empty when
    //! refused or when the message held obstacles.
    std::vector<double> position;
    //! The obstacles of an obstacles message, keyed by name.
    std::optional<std::map<std::string, Shape>> obstacles;
    //! Why the message was refused; empty when it was accepted.
    std::string error;
};

//! Reads {"type": "joint_position", "position": [...]} with exactly `joint_count`
//! finite numbers (an optional "robot" string is allowed), or {"type": "obstacles",
//! "obstacles": [...]} holding a scene (scene_json.hpp); anything else is refused.
DriverMessage parse_driver_message(std::string_view text, std::size_t joint_count);

//! {"type": "joint_position", "position": [...], "in_contact": [[arm, link], ...]}: the
//! message a page receives, with the links that touch something at that position.
std::string joint_position_message(const std::vector<double>& position,
                                   const std::vector<std::pair<std::size_t, std::size_t>>& in_contact = {});

//! {"type": "obstacles", "obstacles": [...]}: the scene a page draws, in the form of scene_json.hpp.
std::string obstacles_message(const std::map<std::string, Shape>& obstacles);

//! {"type": "status", "robot": <name>, "driver_connected": <bool>}: sent to a page
//! when it opens and whenever a driver connects or the last one leaves.
std::string status_message(const std::string& robot_name, bool driver_connected);

}  // namespace velmor::mirava_app
