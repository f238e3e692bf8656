#include "mirava_app/robot_model.hpp"

#include <algorithm>

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

nlohmann::json chain_model(const RobotArm& arm) {
    nlohmann::json chain = nlohmann::json::array();
    for (const auto& joint : arm.get_chain()) {
        const auto& axis = joint.get_axis();
        chain.push_back({{"type", joint.get_type() == JointType::Prismatic ? "prismatic" : "revolute"},
                         {"origin", matrix(joint.get_origin())},
                         {"axis", {axis.x(), axis.y(), axis.z()}},
                         {"offset", matrix(joint.get_offset())}});
    }
    return chain;
}

// Index of `file` among the meshes served, added when new.
std::size_t mesh_index(const std::filesystem::path& file, std::vector<std::filesystem::path>& meshes) {
    const auto found = std::find(meshes.begin(), meshes.end(), file);
    if (found != meshes.end()) {
        return static_cast<std::size_t>(found - meshes.begin());
    }
    meshes.push_back(file);
    return meshes.size() - 1;
}

nlohmann::json shape_model(const VisualShape& shape, std::vector<std::filesystem::path>& meshes) {
    nlohmann::json model {{"origin", matrix(shape.origin)}};
    switch (shape.kind) {
        case VisualShape::Kind::Box:
            model["shape"] = "box";
            model["size"] = shape.size;
            break;
        case VisualShape::Kind::Cylinder:
            model["shape"] = "cylinder";
            model["radius"] = shape.radius;
            model["length"] = shape.length;
            break;
        case VisualShape::Kind::Sphere:
            model["shape"] = "sphere";
            model["radius"] = shape.radius;
            break;
        case VisualShape::Kind::Mesh:
            model["shape"] = "mesh";
            model["url"] = mesh_route + std::to_string(mesh_index(shape.mesh_file, meshes));
            model["scale"] = shape.scale;
            break;
    }
    if (shape.colour) {
        model["colour"] = *shape.colour;
    }
    return model;
}

nlohmann::json arm_model(const RobotArm& arm, std::size_t first_joint, std::vector<std::filesystem::path>& meshes) {
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
    nlohmann::json visuals = nlohmann::json::array();
    for (const auto& link : arm.get_link_visuals()) {
        nlohmann::json shapes = nlohmann::json::array();
        for (const auto& shape : link.shapes) {
            shapes.push_back(shape_model(shape, meshes));
        }
        visuals.push_back({{"name", link.name}, {"shapes", shapes}});
    }
    return {{"name", arm.name},   {"first_joint", first_joint}, {"base", matrix(arm.get_base())},
            {"tool_offset", matrix(arm.get_tool_offset())}, {"dh", dh}, {"chain", chain_model(arm)},
            {"limits", limits}, {"links", links}, {"visuals", visuals}};
}

}  // namespace

RobotModel robot_model(const std::shared_ptr<Robot>& robot) {
    RobotModel model;
    nlohmann::json arms = nlohmann::json::array();
    std::size_t first_joint = 0;
    for (auto arm = robot->get_next_arm(); arm; arm = robot->get_next_arm(arm)) {
        arms.push_back(arm_model(*arm, first_joint, model.meshes));
        first_joint += arm->get_degrees_of_freedom();
    }
    model.json = nlohmann::json {{"name", robot->name}, {"degrees_of_freedom", robot->get_degrees_of_freedom()},
                                 {"arms", arms}}
                     .dump();
    return model;
}

}  // namespace velmor::mirava_app
