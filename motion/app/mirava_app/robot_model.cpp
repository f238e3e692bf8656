#include "mirava_app/robot_model.hpp"

#include <nlohmann/json.hpp>

#include <velmor/motion/robot_arm.hpp>

namespace velmor::mirava_app {

namespace {

nlohmann::json matrix(const Frame& frame) {
    nlohmann::json rows = nlohmann::json::array();
    const Eigen::Matrix4d m = frame.transform.matrix();
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 4; ++column) {
            rows.push_back(m(row, column));
        }
    }
    return rows;
}

nlohmann::json arm_model(const RobotArm& arm, std::size_t first_joint) {
    nlohmann::json dh = nlohmann::json::array();
    for (const auto& joint : arm.get_dh_parameters()) {
        dh.push_back({{"d", joint.d}, {"theta", joint.theta}, {"a", joint.a}, {"alpha", joint.alpha}});
    }
    nlohmann::json limits = nlohmann::json::array();
    for (const auto& limit : arm.get_joint_limits()) {
        limits.push_back({{"min", limit.min_position}, {"max", limit.max_position}});
    }
    nlohmann::json links = nlohmann::json::array();
    for (const auto& link : arm.get_link_geometry()) {
        nlohmann::json capsules = nlohmann::json::array();
        for (const auto& capsule : link.capsules) {
            capsules.push_back({{"start", capsule.start}, {"end", capsule.end}, {"radius", capsule.radius}});
        }
        links.push_back({{"name", link.name}, {"capsules", capsules}});
    }
    return {{"name", arm.name},   {"first_joint", first_joint}, {"base", matrix(arm.get_base())},
            {"tool_offset", matrix(arm.get_tool_offset())}, {"dh", dh}, {"limits", limits},
            {"links", links}};
}

}  // namespace

std::string robot_model_json(const std::shared_ptr<Robot>& robot) {
    nlohmann::json arms = nlohmann::json::array();
    std::size_t first_joint = 0;
    for (auto arm = robot->get_next_arm(); arm; arm = robot->get_next_arm(arm)) {
        arms.push_back(arm_model(*arm, first_joint));
        first_joint += arm->get_degrees_of_freedom();
    }
    return nlohmann::json {{"name", robot->name}, {"degrees_of_freedom", robot->get_degrees_of_freedom()}, {"arms", arms}}
        .dump();
}

}  // namespace velmor::mirava_app
