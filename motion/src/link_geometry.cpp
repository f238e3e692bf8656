#include <velmor/motion/link_geometry.hpp>

#include <cmath>

#include <velmor/motion/robot_arm.hpp>

namespace velmor {

std::vector<LinkGeometry> skeleton_geometry(const std::vector<DenavitHartenberg>& dh_parameters) {
    std::vector<LinkGeometry> links {{"base", {}}};
    for (std::size_t i = 0; i < dh_parameters.size(); ++i) {
        const DenavitHartenberg& dh = dh_parameters[i];
        // In the frame after the joint, the frame before it lies at (-a, -d sin α, -d cos α)
        // and the corner between the d and the a segment at (-a, 0, 0).
        const std::array<double, 3> before {-dh.a, -dh.d * std::sin(dh.alpha), -dh.d * std::cos(dh.alpha)};
        const std::array<double, 3> corner {-dh.a, 0.0, 0.0};
        LinkGeometry link {"link" + std::to_string(i + 1), {}};
        if (dh.d != 0.0) {
            link.capsules.push_back(Capsule {before, corner, 0.0});
        }
        if (dh.a != 0.0) {
            link.capsules.push_back(Capsule {corner, {0.0, 0.0, 0.0}, 0.0});
        }
        links.push_back(std::move(link));
    }
    return links;
}

std::vector<LinkGeometry> skeleton_geometry(const std::vector<ChainJoint>& chain) {
    std::vector<LinkGeometry> links {{"base", {}}};
    for (std::size_t i = 0; i < chain.size(); ++i) {
        links.push_back(LinkGeometry {"link" + std::to_string(i + 1), {}});
    }
    const auto point = [](const Eigen::Vector3d& p) { return std::array<double, 3> {p.x(), p.y(), p.z()}; };
    for (std::size_t i = 0; i < chain.size(); ++i) {
        // The joint's axis passes through the origin of its joint frame, which lies where
        // the inverse offset puts it in the carried link's frame, whatever the joint does.
        const Eigen::Vector3d to_next = chain[i].get_origin().translation();
        if (!to_next.isZero(0.0)) {
            links[i].capsules.push_back(Capsule {{0.0, 0.0, 0.0}, point(to_next), 0.0});
        }
        const Eigen::Vector3d from_axis = chain[i].get_offset().inverse().translation();
        if (!from_axis.isZero(0.0)) {
            links[i + 1].capsules.push_back(Capsule {point(from_axis), {0.0, 0.0, 0.0}, 0.0});
        }
    }
    return links;
}

}  // namespace velmor
