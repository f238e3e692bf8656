#include <velmor/motion/urdf.hpp>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>

#include <velmor/common/velmor_error.hpp>
#include <velmor/log/log.hpp>

#include "urdf/collision_shapes.hpp"
#include "urdf/disabled_collisions.hpp"
#include "urdf/file_reference.hpp"
#include "urdf/parse.hpp"
#include "urdf/pose.hpp"
#include "urdf/visual_shapes.hpp"

namespace velmor::robots {

namespace {

namespace fs = std::filesystem;

[[noreturn]] void refuse(const std::string& message) {
    throw VelmorError("urdf", message);
}

//! The description's text and, for a file, its folder; at most max_urdf_size bytes.
std::pair<std::string, std::optional<fs::path>> load(const std::string& path_or_xml) {
    const auto first = path_or_xml.find_first_not_of(" \t\r\n");
    if (first != std::string::npos && path_or_xml[first] == '<') {
        if (path_or_xml.size() > max_urdf_size) {
            refuse("The robot description text has " + std::to_string(path_or_xml.size()) +
                   " bytes, more than the " + std::to_string(max_urdf_size) + " read.");
        }
        return {path_or_xml, std::nullopt};
    }
    const fs::path path(path_or_xml);
    std::error_code error;
    if (!fs::is_regular_file(path, error)) {
        refuse("No robot description file at \"" + path_or_xml.substr(0, 300) +
               "\" (text that is a description starts with \"<\").");
    }
    std::ifstream file(path, std::ios::binary);
    std::string text(max_urdf_size + 1, '\0');
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (file.bad()) {
        refuse("Could not read the robot description file \"" + path.string() + "\".");
    }
    if (static_cast<std::size_t>(file.gcount()) > max_urdf_size) {
        refuse("The robot description file \"" + path.string() + "\" is larger than the " +
               std::to_string(max_urdf_size) + " bytes read.");
    }
    text.resize(static_cast<std::size_t>(file.gcount()));
    return {std::move(text), fs::absolute(path).parent_path()};
}

void check_file_references(const urdf::ModelInterface& model, const std::optional<fs::path>& folder,
                           const std::map<std::string, fs::path>& package_paths) {
    for (const auto& [name, link] : model.links_) {
        std::vector<urdf::GeometrySharedPtr> geometry;
        for (const auto& visual : link->visual_array) {
            geometry.push_back(visual->geometry);
        }
        for (const auto& collision : link->collision_array) {
            geometry.push_back(collision->geometry);
        }
        for (const auto& shape : geometry) {
            if (shape && shape->type == urdf::Geometry::MESH) {
                const auto& mesh = static_cast<const urdf::Mesh&>(*shape);
                static_cast<void>(urdf_reading::resolve_file_reference(mesh.filename, folder, package_paths));
            }
        }
    }
}

std::string names(const std::vector<std::string>& list) {
    std::string text;
    for (std::size_t i = 0; i < list.size() && i < 20; ++i) {
        text += (i ? ", \"" : "\"") + list[i] + "\"";
    }
    return list.size() > 20 ? text + " and " + std::to_string(list.size() - 20) + " more" : text;
}

urdf::LinkConstSharedPtr find_link(const urdf::ModelInterface& model, const std::string& name, const char* role) {
    const auto link = model.getLink(name);
    if (!link) {
        refuse("The " + std::string(role) + " link \"" + name.substr(0, 200) + "\" is not in the description.");
    }
    return link;
}

//! The single leaf below `base`, or an error naming the candidates.
urdf::LinkConstSharedPtr single_leaf(const urdf::ModelInterface& model, const urdf::LinkConstSharedPtr& base) {
    std::vector<std::string> leaves;
    std::vector<urdf::LinkConstSharedPtr> open {base};
    while (!open.empty()) {
        const auto link = open.back();
        open.pop_back();
        if (link->child_links.empty()) {
            leaves.push_back(link->name);
        }
        open.insert(open.end(), link->child_links.begin(), link->child_links.end());
    }
    std::sort(leaves.begin(), leaves.end());
    if (leaves.size() != 1) {
        refuse("The description branches below \"" + base->name + "\" into " + std::to_string(leaves.size()) +
               " leaves; choose the tip link among " + names(leaves) + ".");
    }
    return model.getLink(leaves.front());
}

//! The joints from `base` down to `tip`, base first.
std::vector<urdf::JointConstSharedPtr> path(const urdf::ModelInterface& model, const urdf::LinkConstSharedPtr& base,
                                            const urdf::LinkConstSharedPtr& tip) {
    std::vector<urdf::JointConstSharedPtr> joints;
    for (auto link = tip; link->name != base->name; link = model.getLink(link->parent_joint->parent_link_name)) {
        if (!link->parent_joint || joints.size() > model.joints_.size()) {
            refuse("The tip link \"" + tip->name + "\" does not lie below the base link \"" + base->name + "\".");
        }
        joints.push_back(link->parent_joint);
    }
    std::reverse(joints.begin(), joints.end());
    return joints;
}

//! Acceleration or jerk limits from the option (none, one, or one per joint), else `per_velocity` × velocity.
std::vector<double> derived_limits(const std::vector<double>& given, const std::vector<double>& velocity,
                                   double per_velocity, const char* what) {
    if (given.empty()) {
        std::vector<double> result;
        for (const double v : velocity) {
            result.push_back(v * per_velocity);
        }
        return result;
    }
    if (given.size() != 1 && given.size() != velocity.size()) {
        refuse("Got " + std::to_string(given.size()) + " " + what + " limits for an arm of " +
               std::to_string(velocity.size()) + " joints: give one for all or one per joint.");
    }
    return given.size() == 1 ? std::vector<double>(velocity.size(), given.front()) : given;
}

//! A link of the description on the arm's path, fixed to one link of the arm.
struct Attached {
    urdf::LinkConstSharedPtr link;
    //! Index of the arm's link (0 the base) it is fixed to.
    std::size_t arm_link;
    //! Its frame in that arm link's frame.
    Frame placement;
};

//! Capsules around the attached links' collision shapes, one entry per arm link, with
//! the disabled pairs marked; empty (the chain's skeleton) when the path holds no shapes
//! and no pairs are disabled.
std::vector<LinkGeometry> link_geometry(const urdf::ModelInterface& model, const std::vector<Attached>& attached,
                                        const std::vector<ChainJoint>& chain, const urdf_reading::MeshFiles& files,
                                        const UrdfOptions& options) {
    std::vector<LinkGeometry> links(chain.size() + 1);
    std::map<std::string, std::size_t> arm_link;
    bool any = false;
    for (const Attached& part : attached) {
        const auto capsules = urdf_reading::collision_capsules(*part.link, part.placement, files);
        LinkGeometry& link = links[part.arm_link];
        if (link.name.empty()) {
            link.name = part.link->name;
        }
        link.capsules.insert(link.capsules.end(), capsules.begin(), capsules.end());
        arm_link[part.link->name] = part.arm_link;
        any = any || !capsules.empty();
    }
    if (!any) {
        links = skeleton_geometry(chain);
    }
    urdf_reading::disable_collisions(links, arm_link, model, options.disabled_collisions);
    return any || !options.disabled_collisions.empty() ? links : std::vector<LinkGeometry> {};
}

}  // namespace

std::shared_ptr<RobotArm> from_urdf(const std::string& path_or_xml, const UrdfOptions& options) {
    const auto [xml, folder] = load(path_or_xml);
    const urdf::ModelInterfaceSharedPtr model = urdf_reading::parse(xml);
    check_file_references(*model, folder, options.package_paths);
    const auto base = options.base_link ? find_link(*model, *options.base_link, "base") : model->getRoot();
    const auto tip = options.tip_link ? find_link(*model, *options.tip_link, "tip") : single_leaf(*model, base);

    std::vector<ChainJoint> chain;
    std::vector<JointLimits> limits;
    std::vector<double> velocity;
    Frame pending;  // fixed placements since the last moving joint
    std::vector<Attached> attached {{base, 0, Frame()}};
    for (const auto& joint : path(*model, base, tip)) {
        const Frame origin = pending * Frame(urdf_reading::transform_of(joint->parent_to_joint_origin_transform));
        pending = Frame();
        const auto child = model->getLink(joint->child_link_name);
        if (joint->type == urdf::Joint::FIXED) {
            pending = origin;
            attached.push_back(Attached {child, chain.size(), origin});
            continue;
        }
        const bool continuous = joint->type == urdf::Joint::CONTINUOUS;
        if (!continuous && joint->type != urdf::Joint::REVOLUTE && joint->type != urdf::Joint::PRISMATIC) {
            refuse("Joint \"" + joint->name + "\" is floating or planar; a serial arm has revolute, continuous, "
                   "prismatic and fixed joints only.");
        }
        if (!joint->limits || !(joint->limits->velocity > 0.0) || !std::isfinite(joint->limits->velocity)) {
            refuse("Joint \"" + joint->name + "\" needs a <limit> with a positive velocity.");
        }
        const double infinity = std::numeric_limits<double>::infinity();
        const Eigen::Vector3d axis(joint->axis.x, joint->axis.y, joint->axis.z);
        chain.emplace_back(joint->name, joint->type == urdf::Joint::PRISMATIC ? JointType::Prismatic
                                                                                : JointType::Revolute,
                           origin, axis);
        attached.push_back(Attached {child, chain.size(), Frame()});
        velocity.push_back(joint->limits->velocity);
        limits.push_back(JointLimits {continuous ? -infinity : joint->limits->lower,
                                      continuous ? infinity : joint->limits->upper, joint->limits->velocity, 0.0, 0.0});
    }
    if (chain.empty()) {
        refuse("No revolute, continuous or prismatic joint lies between \"" + base->name + "\" and \"" + tip->name +
               "\".");
    }
    // What follows the last moving joint belongs to its link: the tip link is the flange.
    chain.back() = ChainJoint(chain.back().get_name(), chain.back().get_type(), chain.back().get_origin(),
                              chain.back().get_axis(), pending);
    for (Attached& part : attached) {
        if (part.arm_link == chain.size()) {
            part.placement = pending.inverse() * part.placement;
        }
    }
    const auto acceleration =
        derived_limits(options.max_acceleration, velocity, default_acceleration_per_velocity, "acceleration");
    const auto jerk = derived_limits(options.max_jerk, velocity, default_jerk_per_velocity, "jerk");
    for (std::size_t i = 0; i < limits.size(); ++i) {
        limits[i].max_acceleration = acceleration[i];
        limits[i].max_jerk = jerk[i];
    }
    if (options.max_acceleration.empty() || options.max_jerk.empty()) {
        velmor::log::log_<velmor::log::Level::Info>("urdf", "Robot \"" + model->getName() + "\": the description holds no "
                                    "acceleration or jerk limits, so those not given are derived from the velocity "
                                    "limit v: 4·v per second and 16·v per second squared.");
    }
    auto links = link_geometry(*model, attached, chain,
                               urdf_reading::MeshFiles {model->getName(), folder, options.package_paths}, options);
    std::vector<LinkVisual> visuals(chain.size() + 1);
    for (const Attached& part : attached) {
        urdf_reading::add_visual_shapes(*part.link, part.placement, folder, options.package_paths,
                                        visuals[part.arm_link]);
    }
    auto arm = std::make_shared<RobotArm>(model->getName(), std::move(chain), std::move(limits), options.base,
                                          options.tool_offset, std::move(links));
    arm->set_link_visuals(std::move(visuals));
    return arm;
}

}  // namespace velmor::robots
