#pragma once

#include <memory>
#include <string>
#include <vector>

#include <velmor/motion/robot_arm.hpp>

namespace velmor::robots {

//! A six-axis collaborative arm of 5 kg payload and 850 mm reach, with its published kinematics.
class UR5e : public RobotArm {
public:
    //! Model name, also the name `make` knows it by.
    static constexpr const char* model_name = "ur5e";

    //! The arm mounted at `base` in the world, with the tool centre point `tool_offset` from its flange.
    explicit UR5e(Frame base = Frame::Identity(), Frame tool_offset = Frame::Identity());
};

//! Two arms driven as one robot: the left arm's joints first, then the right arm's.
class DualArm : public Robot {
public:
    //! Model name, also the name `make` knows it by.
    static constexpr const char* model_name = "dual-arm";

    //! Throws VelmorError (module "robot") for an empty arm or the same arm twice.
    DualArm(std::shared_ptr<RobotArm> left, std::shared_ptr<RobotArm> right);

    [[nodiscard]] std::size_t get_degrees_of_freedom() const override;
    //! The left arm for an empty `previous`, the right arm after the left one, else an empty pointer.
    std::shared_ptr<RobotArm> get_next_arm(const std::shared_ptr<RobotArm>& previous = nullptr) override;
    [[nodiscard]] std::vector<JointLimits> get_joint_limits() const override;

    //! The arm whose joints come first.
    std::shared_ptr<RobotArm> left;
    //! The arm whose joints come second.
    std::shared_ptr<RobotArm> right;
};

//! Names of the built-in robot models, as `make` accepts them.
[[nodiscard]] std::vector<std::string> model_names();

//! A new robot of the named built-in model ("ur5e", or "dual-arm": two of them
//! side by side, 1 m apart along y); throws VelmorError (module "robots") for an unknown name.
[[nodiscard]] std::shared_ptr<Robot> make(const std::string& name);

}  // namespace velmor::robots
