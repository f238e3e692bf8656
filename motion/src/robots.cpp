#include <velmor/motion/robots.hpp>

#include <numbers>

#include <velmor/common/velmor_error.hpp>

namespace velmor::robots {

namespace {

constexpr double pi = std::numbers::pi;
constexpr double degree = pi / 180.0;

// Denavit-Hartenberg parameters from the maker's article "DH parameters for
// calculations of kinematics and dynamics" (UR5e row); joint ranges (±360°) and
// speeds (180°/s on every joint) from the UR5e technical specifications sheet.
// Acceleration and jerk limits are not published there: the values below are our
// own plausible choices for a 5 kg-class arm (about 460°/s² and 2900°/s³).
std::vector<DenavitHartenberg> ur5e_dh() {
    return {
        {0.1625, 0.0, 0.0, pi / 2},
        {0.0, 0.0, -0.425, 0.0},
        {0.0, 0.0, -0.3922, 0.0},
        {0.1333, 0.0, 0.0, pi / 2},
        {0.0997, 0.0, 0.0, -pi / 2},
        {0.0996, 0.0, 0.0, 0.0},
    };
}

std::vector<JointLimits> ur5e_limits() {
    const JointLimits joint {-360.0 * degree, 360.0 * degree, 180.0 * degree, 8.0, 50.0};
    return std::vector<JointLimits>(6, joint);
}

// Link geometry: capsules chosen by us to enclose the arm's housings and tubes
// roughly, not figures published by the maker. Upper arm and forearm keep the
// sideways offsets from the kinematic plane (along the joint axes) that the real
// arm has, about 138 mm and 0 mm, so that the upper arm passes beside the base
// and the folded forearm beside the upper arm, as on the real arm. Coordinates
// are in each link's Denavit-Hartenberg frame [m].
std::vector<LinkGeometry> ur5e_links() {
    return {
        {"base", {{{0.0, 0.0, 0.0}, {0.0, 0.0, 0.086}, 0.075}}},
        {"shoulder", {{{0.0, -0.07, 0.0}, {0.0, 0.0, 0.0}, 0.06}, {{0.0, 0.0, 0.0}, {0.0, 0.0, 0.14}, 0.06}}},
        {"upper_arm", {{{0.425, 0.0, 0.138}, {0.0, 0.0, 0.138}, 0.054}, {{0.0, 0.0, 0.138}, {0.0, 0.0, 0.01}, 0.05}}},
        {"forearm", {{{0.3922, 0.0, 0.0}, {0.0, 0.0, 0.0}, 0.045}}},
        {"wrist_1", {{{0.0, -0.09, 0.0}, {0.0, 0.0, 0.0}, 0.045}}},
        {"wrist_2", {{{0.0, 0.06, 0.0}, {0.0, 0.0, 0.0}, 0.045}}},
        {"wrist_3", {{{0.0, 0.0, -0.07}, {0.0, 0.0, -0.005}, 0.04}}},
    };
}

}  // namespace

UR5e::UR5e(Frame base, Frame tool_offset)
    : RobotArm(model_name, ur5e_dh(), ur5e_limits(), base, tool_offset, ur5e_links()) {}

DualArm::DualArm(std::shared_ptr<RobotArm> left, std::shared_ptr<RobotArm> right)
    : Robot(model_name), left(std::move(left)), right(std::move(right)) {
    if (!this->left || !this->right) {
        throw VelmorError("robot", "A dual-arm robot needs two arms.");
    }
    if (this->left == this->right) {
        throw VelmorError("robot", "A dual-arm robot needs two distinct arms.");
    }
}

std::size_t DualArm::get_degrees_of_freedom() const {
    return left->get_degrees_of_freedom() + right->get_degrees_of_freedom();
}

std::shared_ptr<RobotArm> DualArm::get_next_arm(const std::shared_ptr<RobotArm>& previous) {
    if (!previous) {
        return left;
    }
    if (previous == left) {
        return right;
    }
    return nullptr;
}

std::vector<JointLimits> DualArm::get_joint_limits() const {
    std::vector<JointLimits> limits = left->get_joint_limits();
    const std::vector<JointLimits> right_limits = right->get_joint_limits();
    limits.insert(limits.end(), right_limits.begin(), right_limits.end());
    return limits;
}

std::vector<std::string> model_names() {
    return {UR5e::model_name, DualArm::model_name};
}

std::shared_ptr<Robot> make(const std::string& name) {
    if (name == UR5e::model_name) {
        return std::make_shared<UR5e>();
    }
    if (name == DualArm::model_name) {
        return std::make_shared<DualArm>(std::make_shared<UR5e>(Frame::from_translation(0.0, 0.5, 0.0)),
                                         std::make_shared<UR5e>(Frame::from_translation(0.0, -0.5, 0.0)));
    }
    std::string known;
    for (const std::string& model : model_names()) {
        known += (known.empty() ? "" : ", ") + model;
    }
    throw VelmorError("robots", "Unknown robot model \"" + name + "\"; the built-in models are " + known + ".");
}

}  // namespace velmor::robots
