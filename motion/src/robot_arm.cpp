#include <velmor/motion/robot_arm.hpp>

#include <cmath>
#include <string>

#include <velmor/common/velmor_error.hpp>

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
        for (const std::size_t other : link.ignored_links) {
            if (other >= links.size()) {
                throw VelmorError("robot", "Link \"" + link.name + "\" of robot \"" + name + "\" ignores link " +
                                               std::to_string(other) + ", but the arm has " +
                                               std::to_string(links.size()) + " links.");
            }
        }
    }
}

std::vector<ChainJoint> dh_chain(const std::vector<DenavitHartenberg>& dh_parameters) {
    std::vector<ChainJoint> chain;
    for (std::size_t i = 0; i < dh_parameters.size(); ++i) {
        const DenavitHartenberg& dh = dh_parameters[i];
        chain.push_back(ChainJoint::from_denavit_hartenberg("joint" + std::to_string(i + 1), dh.d, dh.theta, dh.a,
                                                            dh.alpha));
    }
    return chain;
}

}  // namespace

RobotArm::RobotArm(std::string name, std::vector<DenavitHartenberg> dh_parameters, std::vector<JointLimits> limits,
                   Frame base, Frame tool_offset, std::vector<LinkGeometry> links)
    : RobotArm(std::move(name), dh_chain(dh_parameters), std::move(limits), base, tool_offset,
               links.empty() ? skeleton_geometry(dh_parameters) : std::move(links)) {
    this->dh_parameters = std::move(dh_parameters);
}

RobotArm::RobotArm(std::string name, std::vector<ChainJoint> chain, std::vector<JointLimits> limits, Frame base,
                   Frame tool_offset, std::vector<LinkGeometry> links)
    : Robot(std::move(name)),
      chain(std::move(chain)),
      limits(std::move(limits)),
      base(base),
      tool_offset(tool_offset),
      links(links.empty() ? skeleton_geometry(this->chain) : std::move(links)) {
    if (this->chain.size() != this->limits.size()) {
        throw VelmorError("robot", "Robot \"" + this->name + "\" has " + std::to_string(this->chain.size()) +
                                       " joints but " + std::to_string(this->limits.size()) + " joint limits.");
    }
    check_limits(this->name, this->limits);
    check_links(this->name, this->links, this->chain.size());
}

std::size_t RobotArm::get_degrees_of_freedom() const {
    return chain.size();
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
    if (joint_position.size() != chain.size()) {
        throw VelmorError("kinematics", "Got " + std::to_string(joint_position.size()) + " joint positions for the " +
                                            std::to_string(chain.size()) + " joints of robot \"" + name + "\".");
    }
    std::vector<Frame> frames;
    frames.reserve(chain.size() + 2);
    Eigen::Isometry3d transform = base.transform;
    frames.emplace_back(transform);
    for (std::size_t i = 0; i < chain.size(); ++i) {
        transform = transform * chain[i].transform(joint_position[i]);
        frames.emplace_back(transform);
    }
    frames.emplace_back(transform * tool_offset.transform);
    return frames;
}

Frame RobotArm::calculate_tcp(const std::vector<double>& joint_position) const {
    return calculate_joint_frames(joint_position).back();
}

}  // namespace velmor
