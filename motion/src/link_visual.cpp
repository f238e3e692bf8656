#include <velmor/motion/robot_arm.hpp>

#include <string>

#include <velmor/common/velmor_error.hpp>

namespace velmor {

void RobotArm::set_link_visuals(std::vector<LinkVisual> link_visuals) {
    if (!link_visuals.empty() && link_visuals.size() != links.size()) {
        throw VelmorError("robot", "Robot \"" + name + "\" has " + std::to_string(links.size()) +
                                       " links, so its looks need as many entries (the base first), not " +
                                       std::to_string(link_visuals.size()) + ".");
    }
    visuals = std::move(link_visuals);
}

}  // namespace velmor
