#include "jacobian.hpp"

namespace velmor {

Eigen::Matrix<double, 6, Eigen::Dynamic> geometric_jacobian(const std::vector<ChainJoint>& chain,
                                                            const std::vector<Frame>& joint_frames) {
    Eigen::Matrix<double, 6, Eigen::Dynamic> jacobian(6, static_cast<Eigen::Index>(chain.size()));
    const Eigen::Vector3d tip = joint_frames.back().translation();
    for (std::size_t i = 0; i < chain.size(); ++i) {
        // The joint's own frame: where its axis lies, unmoved by the joint itself.
        const Eigen::Isometry3d pivot = joint_frames[i].transform * chain[i].get_origin().transform;
        const Eigen::Vector3d axis = pivot.linear() * chain[i].get_axis();
        if (chain[i].get_type() == JointType::Prismatic) {
            jacobian.col(static_cast<Eigen::Index>(i)) << axis, Eigen::Vector3d::Zero();
        } else {
            jacobian.col(static_cast<Eigen::Index>(i)) << axis.cross(tip - pivot.translation()), axis;
        }
    }
    return jacobian;
}

}  // namespace velmor
