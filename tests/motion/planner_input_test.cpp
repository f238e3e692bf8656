#include <velmor/motion/planner.hpp>

#include <functional>
#include <limits>

#include <gtest/gtest.h>

#include <velmor/common/velmor_error.hpp>
#include <velmor/motion/robots.hpp>

namespace {

using namespace velmor;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

const std::vector<double> zero(6, 0.0);

//! `zero` with `value` at joint `joint`.
std::vector<double> with(std::size_t joint, double value) {
    std::vector<double> result = zero;
    result[joint] = value;
    return result;
}

struct BadRequest {
    const char* name;
    std::function<std::optional<Trajectory>(const std::shared_ptr<Robot>&)> plan;
    //! Part of the error message.
    const char* names;
};

std::ostream& operator<<(std::ostream& out, const BadRequest& request) {
    return out << request.name;
}

std::optional<Trajectory> plan(const std::shared_ptr<Robot>& robot, const LowLevelMotion& motion) {
    return Planner(robot).plan(motion);
}

std::optional<Trajectory> plan(const std::shared_ptr<Robot>& robot, const Motion& motion) {
    return Planner(robot).plan(motion);
}

class NonFiniteInput : public ::testing::TestWithParam<BadRequest> {};

TEST_P(NonFiniteInput, IsRefusedWithAPlannerError) {
    try {
        GetParam().plan(robots::make("ur5e"));
        FAIL() << "expected a VelmorError";
    } catch (const VelmorError& error) {
        EXPECT_EQ(error.module, "planner");
        EXPECT_NE(error.message.find(GetParam().names), std::string::npos) << error.message;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Requests, NonFiniteInput,
    ::testing::Values(
        BadRequest {"StartPosition",
                    [](const auto& robot) {
                        return plan(robot, LowLevelMotion(robot, "", Waypoint(with(2, nan)), Waypoint(zero)));
                    },
                    "start's position of joint 2 is not a finite number"},
        BadRequest {"StartVelocity",
                    [](const auto& robot) {
                        return plan(robot, LowLevelMotion(robot, "", Waypoint(zero, with(0, inf)), Waypoint(zero)));
                    },
                    "start's velocity of joint 0"},
        BadRequest {"GoalAcceleration",
                    [](const auto& robot) {
                        const Waypoint goal(zero, {}, with(5, -inf));
                        return plan(robot, LowLevelMotion(robot, "", Waypoint(zero), goal));
                    },
                    "goal's acceleration of joint 5"},
        BadRequest {"TargetVelocity",
                    [](const auto& robot) {
                        LowLevelMotion motion(robot, "", Waypoint(zero), Waypoint(zero, with(1, nan)));
                        motion.control_interface = LowLevelMotion::ControlInterface::Velocity;
                        return plan(robot, motion);
                    },
                    "goal's velocity of joint 1"},
        BadRequest {"MotionStart",
                    [](const auto& robot) { return plan(robot, Motion(robot, "", with(3, inf), zero)); },
                    "start position of joint 3"},
        BadRequest {"MotionGoal",
                    [](const auto& robot) { return plan(robot, Motion(robot, "", zero, with(4, nan))); },
                    "goal position of joint 4"},
        BadRequest {"ToolPose",
                    [](const auto& robot) {
                        const CartesianWaypoint goal {Frame::from_translation(nan, 0, 0), std::nullopt};
                        return plan(robot, Motion(robot, "", zero, goal));
                    },
                    "tool pose"},
        BadRequest {"RegionBound",
                    [](const auto& robot) { return plan(robot, Motion(robot, "", zero, Region {with(0, nan), zero})); },
                    "region's bounds of joint 0"},
        BadRequest {"VelocityLimit",
                    [](const auto&) {
                        std::vector<JointLimits> limits = robots::UR5e().get_joint_limits();
                        limits[2].max_velocity = inf;
                        const auto arm =
                            std::make_shared<RobotArm>("unbounded", robots::UR5e().get_dh_parameters(), limits);
                        return plan(arm, Motion(arm, "", zero, with(2, 1.0)));
                    },
                    "limits of joint 2"},
        BadRequest {"SampleInterval",
                    [](const auto& robot) {
                        Planner planner(robot);
                        planner.delta_time = nan;
                        return planner.plan(LowLevelMotion(robot, "", Waypoint(zero), Waypoint(zero)));
                    },
                    "sample interval"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PlannerInput, RefusesMotionsTooLongToSample) {
    const auto robot = robots::make("ur5e");
    const Planner planner(robot);
    // A million radians at π rad/s take days.
    EXPECT_FALSE(planner.plan(LowLevelMotion(robot, "", Waypoint(with(0, 1e6)), Waypoint(zero))).has_value());
    EXPECT_FALSE(planner.plan(Motion(robot, "", with(0, 1e6), zero)).has_value());
    // Braking from these takes longer still, or longer than the arithmetic can tell.
    for (const double huge : {1e6, 1e300, -1.7e308}) {
        for (const Waypoint& start : {Waypoint(zero, with(0, huge)), Waypoint(zero, zero, with(0, huge))}) {
            EXPECT_FALSE(planner.plan(LowLevelMotion(robot, "", start, Waypoint(zero))).has_value()) << huge;
            LowLevelMotion stop(robot, "", start, Waypoint(0));
            stop.control_interface = LowLevelMotion::ControlInterface::Velocity;
            EXPECT_FALSE(planner.plan(stop).has_value()) << huge;
        }
    }
    // Half a second in steps of 0.1 µs is five million samples.
    EXPECT_FALSE(Planner(robot, 1e-7).plan(Motion(robot, "", zero, with(0, 0.5))).has_value());
    EXPECT_TRUE(Planner(robot, 1e-4).plan(Motion(robot, "", zero, with(0, 0.5))).has_value());
}

}  // namespace
