#include "jacobian.hpp"

namespace velmor {

Eigen::Matrix<double, 6, Eigen::Dynamic> geometric_jacobian(const std::vector<Frame>& joint_frames,
                                                            std::size_t joints) {
    Eigen::Matrix<double, 6, Eigen::Dynamic> jacobian(6, static_cast<Eigen::Index>(joints));
    const Eigen::Vector3d tip = joint_frames.back().translation();
    for (std::size_t i = 0; i < joints; ++i) {
        const Eigen::Vector3d axis = joint_frames[i].rotation().col(2);
        jacobian.col(static_cast<Eigen::Index>(i)) << axis.cross(tip - joint_frames[i].translation()), axis;
    }
    return jacobian;
}

}  // namespace velmor
