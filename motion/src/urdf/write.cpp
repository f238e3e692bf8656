#include <velmor/motion/robot_arm.hpp>

#include <array>
#include <cmath>
#include <cstdio>
#include <string>

#include <velmor/common/velmor_error.hpp>

namespace velmor {

namespace urdf_writing {

//! Seventeen significant digits: every double reads back as itself.
std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value == 0.0 ? 0.0 : value);
    return text;
}

std::string escaped(const std::string& text) {
    std::string result;
    for (const char c : text) {
        switch (c) {
            case '&': result += "&amp;"; break;
            case '<': result += "&lt;"; break;
            case '>': result += "&gt;"; break;
            case '"': result += "&quot;"; break;
            default: result += c;
        }
    }
    return result;
}

std::string triple(double x, double y, double z) {
    return number(x) + " " + number(y) + " " + number(z);
}

//! The placement as an <origin>: roll, pitch and yaw about fixed x, y and z, the same
//! rotation as a frame's yaw-pitch-roll angles.
std::string origin(const Frame& frame) {
    const std::array<double, 6> e = frame.to_euler();
    return "<origin xyz=\"" + triple(e[0], e[1], e[2]) + "\" rpy=\"" + triple(e[5], e[4], e[3]) + "\"/>";
}

std::string link(const std::string& name) {
    return "  <link name=\"" + escaped(name) + "\"/>\n";
}

std::string joint(const std::string& name, const std::string& type, const std::string& parent,
                  const std::string& child, const Frame& placement) {
    return "  <joint name=\"" + escaped(name) + "\" type=\"" + type + "\">\n    <parent link=\"" + escaped(parent) +
           "\"/>\n    <child link=\"" + escaped(child) + "\"/>\n    " + origin(placement) + "\n";
}

}  // namespace urdf_writing

std::string RobotArm::to_urdf() const {
    using namespace urdf_writing;
    std::string xml = "<?xml version=\"1.0\"?>\n<robot name=\"" + escaped(name) + "\">\n" + link(links[0].name);
    Frame previous_offset;  // what the previous joint's link adds after its motion
    for (std::size_t i = 0; i < chain.size(); ++i) {
        const ChainJoint& moving = chain[i];
        const JointLimits& limit = limits[i];
        const bool bounded = std::isfinite(limit.min_position) && std::isfinite(limit.max_position);
        if (!bounded && (moving.get_type() == JointType::Prismatic || std::isfinite(limit.min_position) ||
                         std::isfinite(limit.max_position))) {
            throw VelmorError("urdf", "Joint \"" + moving.get_name() + "\" of robot \"" + name +
                                          "\" is bounded on one side only, which a robot description cannot hold.");
        }
        const std::string type = moving.get_type() == JointType::Prismatic ? "prismatic"
                                 : bounded                                 ? "revolute"
                                                                           : "continuous";
        const Eigen::Vector3d& axis = moving.get_axis();
        xml += link(links[i + 1].name) +
               joint(moving.get_name(), type, links[i].name, links[i + 1].name,
                     previous_offset * moving.get_origin()) +
               "    <axis xyz=\"" + triple(axis.x(), axis.y(), axis.z()) + "\"/>\n    <limit " +
               (bounded ? "lower=\"" + number(limit.min_position) + "\" upper=\"" + number(limit.max_position) + "\" "
                        : std::string()) +
               "velocity=\"" + number(limit.max_velocity) + "\" effort=\"0\"/>\n  </joint>\n";
        previous_offset = moving.get_offset();
    }
    if (!previous_offset.transform.matrix().isIdentity(0.0)) {
        // The last link's frame lies after the last joint's motion: a fixed flange carries it.
        const std::string flange = links.back().name + "_flange";
        xml += link(flange) + joint(links.back().name + "_to_flange", "fixed", links.back().name, flange,
                                    previous_offset) + "  </joint>\n";
    }
    return xml + "</robot>\n";
}

}  // namespace velmor
