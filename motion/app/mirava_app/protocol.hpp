#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace velmor::mirava_app {

//! Outcome of reading one message of a driver client.
struct DriverMessage {
    //! The joint position [rad], one entry per joint of the shown robot; empty when refused.
    std::vector<double> position;
    //! Why the message was refused; empty when it was accepted.
    std::string error;
};

//! Reads {"type": "joint_position", "position": [...]} with exactly `joint_count`
//! finite numbers (an optional "robot" string is allowed); anything else is refused.
DriverMessage parse_driver_message(std::string_view text, std::size_t joint_count);

//! {"type": "joint_position", "position": [...]}: the message a page receives.
std::string joint_position_message(const std::vector<double>& position);

//! {"type": "status", "robot": <name>, "driver_connected": <bool>}: sent to a page
//! when it opens and whenever a driver connects or the last one leaves.
std::string status_message(const std::string& robot_name, bool driver_connected);

}  // namespace velmor::mirava_app
