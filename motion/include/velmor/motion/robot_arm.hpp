#pragma once

#include <memory>
#include <optional>
#include <vector>

#include <velmor/motion/chain_joint.hpp>
#include <velmor/motion/frame.hpp>
#include <velmor/motion/link_geometry.hpp>
#include <velmor/motion/link_visual.hpp>
#include <velmor/motion/robot.hpp>

namespace velmor {

//! Standard Denavit-Hartenberg parameters of one revolute joint.
struct DenavitHartenberg {
    //! Offset along the previous z axis [m].
    double d;
    //! Joint angle offset about the previous z axis [rad].
    double theta;
    //! Length along the common normal [m].
    double a;
    //! Twist about the common normal [rad].
    double alpha;
};

//! One serial arm: a chain of revolute and prismatic joints, with its kinematics and joint limits.
class RobotArm : public Robot, public std::enable_shared_from_this<RobotArm> {
public:
    //! `links` holds one entry per link (base first, so one more than there are joints);
    //! empty gives the bare skeleton_geometry. Throws VelmorError (module "robot") for
    //! mismatched sizes, invalid limits or link geometry that is not finite.
    RobotArm(std::string name, std::vector<DenavitHartenberg> dh_parameters, std::vector<JointLimits> limits,
             Frame base = Frame::Identity(), Frame tool_offset = Frame::Identity(),
             std::vector<LinkGeometry> links = {});
    //! An arm of any chain of joints, as read from a robot description file; the same
    //! checks, and an empty `links` gives the chain's skeleton_geometry.
    RobotArm(std::string name, std::vector<ChainJoint> chain, std::vector<JointLimits> limits,
             Frame base = Frame::Identity(), Frame tool_offset = Frame::Identity(),
             std::vector<LinkGeometry> links = {});

    [[nodiscard]] std::size_t get_degrees_of_freedom() const override;
    //! Itself for an empty `previous`, else an empty pointer.
    std::shared_ptr<RobotArm> get_next_arm(const std::shared_ptr<RobotArm>& previous = nullptr) override;
    [[nodiscard]] std::vector<JointLimits> get_joint_limits() const override;

    //! Pose of the tool centre point in the world for a joint position [rad] or [m].
    [[nodiscard]] Frame calculate_tcp(const std::vector<double>& joint_position) const;
    //! Frames of the base, of every joint and of the tool centre point, in order.
    [[nodiscard]] std::vector<Frame> calculate_joint_frames(const std::vector<double>& joint_position) const;
    //! A joint position whose tool pose is `tcp`, near `reference`, found by damped least
    //! squares within the joint limits; empty when the pose is unreachable or no solution
    //! keeps to the limits (unreachable_pose says which).
    [[nodiscard]] std::optional<std::vector<double>> inverse_kinematics(const Frame& tcp,
                                                                      const std::vector<double>& reference) const;

    //! The Denavit-Hartenberg parameters the arm was made from; empty for an arm made from a chain.
    [[nodiscard]] const std::vector<DenavitHartenberg>& get_dh_parameters() const { return dh_parameters; }
    //! One entry per joint, base first.
    [[nodiscard]] const std::vector<ChainJoint>& get_chain() const { return chain; }
    //! The arm as a robot description (URDF): links named after the link geometry, the
    //! tool offset left out (pass it again when reading the file back).
    [[nodiscard]] std::string to_urdf() const;
    //! Pose of the arm's base in the world.
    [[nodiscard]] const Frame& get_base() const { return base; }
    //! Pose of the tool centre point relative to the flange.
    [[nodiscard]] const Frame& get_tool_offset() const { return tool_offset; }
    //! The solid of every link, base first, for collision checks.
    [[nodiscard]] const std::vector<LinkGeometry>& get_link_geometry() const { return links; }
    //! How every link looks, base first, as its robot description draws it; empty for an
    //! arm drawn from its link geometry.
    [[nodiscard]] const std::vector<LinkVisual>& get_link_visuals() const { return visuals; }
    //! Sets how the links look, one entry per link or none; only before the arm is shared
    //! with another thread. Throws VelmorError (module "robot") for another count.
    void set_link_visuals(std::vector<LinkVisual> link_visuals);

private:
    std::vector<DenavitHartenberg> dh_parameters;
    std::vector<ChainJoint> chain;
    std::vector<JointLimits> limits;
    Frame base;
    Frame tool_offset;
    std::vector<LinkGeometry> links;
    std::vector<LinkVisual> visuals;
};

}  // namespace velmor
