#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace velmor {

class RobotArm;

//! Limits of one joint.
struct JointLimits {
    //! Lowest position [rad] or [m].
    double min_position;
    //! Highest position [rad] or [m].
    double max_position;
    //! Largest speed [rad/s] or [m/s].
    double max_velocity;
    //! Largest acceleration [rad/s²] or [m/s²].
    double max_acceleration;
    //! Largest jerk [rad/s³] or [m/s³].
    double max_jerk;
};

//! A robot: one arm, or a chain of arms whose joints are numbered arm after arm.
//! Robots are held by std::shared_ptr (arms hand out pointers to themselves).
class Robot {
public:
    //! Model name.
    std::string name;

    explicit Robot(std::string name) : name(std::move(name)) {}
    virtual ~Robot() = default;

    //! Total number of joints.
    [[nodiscard]] virtual std::size_t get_degrees_of_freedom() const = 0;
    //! The first arm for an empty `previous`, the arm after `previous`, or an
    //! empty pointer after the last arm (or for an arm not in this robot).
    virtual std::shared_ptr<RobotArm> get_next_arm(const std::shared_ptr<RobotArm>& previous = nullptr) = 0;
    //! Limits of every joint, in joint order.
    [[nodiscard]] virtual std::vector<JointLimits> get_joint_limits() const = 0;
};

}  // namespace velmor
