#include <velmor/motion/robot_arm.hpp>

#include <cmath>
#include <string>

#include <velmor/common/velmor_error.hpp>

#include "dh_transform.hpp"

namespace velmor {

namespace {

void check_limits(const std::string& name, const std::vector<JointLimits>& limits) {
    for (std::size_t i = 0; i < limits.size(); ++i) {
        const JointLimits& l = limits[i];
        if (!(l.min_position <= l.max_position) || !(l.max_velocity > 0.0) || !(l.max_acceleration > 0.0) ||
            !(l.max_jerk > 0.0)) {
            throw VelmorError("robot", "Joint " + std::to_string(i) + " of robot \"" + name +
                                           "\" has invalid limits: positions must be ordered and velocity, "
                                           "acceleration and jerk limits positive.");
        }
    }
}

void check_links(const std::string& name, const std::vector<LinkGeometry>& links, std::size_t joints) {
    if (links.size() != joints + 1) {
        throw VelmorError("robot", "Robot \"" + name + "\" has " + std::to_string(joints) + " joints, so its link " +
                                       "geometry needs " + std::to_string(joints + 1) + " links (the base first), not " +
                                       std::to_string(links.size()) + ".");
    }
    for (const LinkGeometry& link : links) {
        for (const Capsule& capsule : link.capsules) {
            bool finite = std::isfinite(capsule.radius) && capsule.radius >= 0.0;
            for (std::size_t i = 0; i < 3; ++i) {
                finite = finite && std::isfinite(capsule.start[i]) && std::isfinite(capsule.end[i]);
            }
            if (!finite) {
                throw VelmorError("robot", "Link \"" + link.name + "\" of robot \"" + name +
                                               "\" has a capsule with a value that is not finite or a negative radius.");
            }
        }
    }
}

}  // namespace

RobotArm::RobotArm(std::string name, std::vector<DenavitHartenberg> dh_parameters, std::vector<JointLimits> limits,
                   Frame base, Frame tool_offset, std::vector<LinkGeometry> links)
    : Robot(std::move(name)),
      dh_parameters(std::move(dh_parameters)),
      limits(std::move(limits)),
      base(base),
      tool_offset(tool_offset),
      links(links.empty() ? skeleton_geometry(this->dh_parameters) : std::move(links)) {
    if (this->dh_parameters.size() != this->limits.size()) {
        throw VelmorError("robot", "Robot \"" + this->name + "\" has " + std::to_string(this->dh_parameters.size()) +
                                       " Denavit-Hartenberg entries but " + std::to_string(this->limits.size()) +
                                       " joint limits.");
    }
    check_limits(this->name, this->limits);
    check_links(this->name, this->links, this->dh_parameters.size());
}

std::size_t RobotArm::get_degrees_of_freedom() const {
    return dh_parameters.size();
}

std::shared_ptr<RobotArm> RobotArm::get_next_arm(const std::shared_ptr<RobotArm>& previous) {
    if (previous) {
        return nullptr;
    }
    return shared_from_this();
}

std::vector<JointLimits> RobotArm::get_joint_limits() const {
    return limits;
}

std::vector<Frame> RobotArm::calculate_joint_frames(const std::vector<double>& joint_position) const {
    if (joint_position.size() != dh_parameters.size()) {
        throw VelmorError("kinematics", "Got " + std::to_string(joint_position.size()) + " joint positions for the " +
                                            std::to_string(dh_parameters.size()) + " joints of robot \"" + name +
                                            "\".");
    }
    std::vector<Frame> frames;
    frames.reserve(dh_parameters.size() + 2);
    Eigen::Isometry3d transform = base.transform;
    frames.emplace_back(transform);
    for (std::size_t i = 0; i < dh_parameters.size(); ++i) {
        transform = transform * dh_transform(DhJoint(dh_parameters[i]), joint_position[i]);
        frames.emplace_back(transform);
    }
    frames.emplace_back(transform * tool_offset.transform);
    return frames;
}

Frame RobotArm::calculate_tcp(const std::vector<double>& joint_position) const {
    return calculate_joint_frames(joint_position).back();
}

}  // namespace velmor
