#include <velmor/motion/robots.hpp>

#include <gtest/gtest.h>

#include <velmor/motion/environment.hpp>
#include <velmor/common/velmor_error.hpp>

namespace {

using namespace velmor;

TEST(Robots, MakeBuildsTheNamedModels) {
    const auto arm = robots::make("ur5e");
    EXPECT_EQ(arm->name, "ur5e");
    EXPECT_EQ(arm->get_degrees_of_freedom(), 6u);
    const auto dual = robots::make("dual-arm");
    EXPECT_EQ(dual->name, "dual-arm");
    EXPECT_EQ(dual->get_degrees_of_freedom(), 12u);
    for (const std::string& name : robots::model_names()) {
        EXPECT_EQ(robots::make(name)->name, name);
    }
}

TEST(Robots, MakeRefusesUnknownNamesAndListsTheKnownOnes) {
    try {
        (void)robots::make("no-such-robot");
        FAIL() << "expected VelmorError";
    } catch (const VelmorError& error) {
        EXPECT_EQ(error.module, "robots");
        EXPECT_NE(error.message.find("no-such-robot"), std::string::npos);
        EXPECT_NE(error.message.find("dual-arm"), std::string::npos);
    }
}

TEST(Robots, ArmLimitsAreThePublishedRangesAndSpeeds) {
    const robots::UR5e arm;
    for (const JointLimits& l : arm.get_joint_limits()) {
        EXPECT_NEAR(l.min_position, -2 * 3.141592653589793, 1e-12);
        EXPECT_NEAR(l.max_position, 2 * 3.141592653589793, 1e-12);
        EXPECT_NEAR(l.max_velocity, 3.141592653589793, 1e-12);
        EXPECT_GT(l.max_acceleration, 0.0);
        EXPECT_GT(l.max_jerk, 0.0);
    }
}

TEST(Robots, DualArmWalksLeftThenRight) {
    const auto left = std::make_shared<robots::UR5e>();
    const auto right = std::make_shared<robots::UR5e>();
    robots::DualArm dual(left, right);
    EXPECT_EQ(dual.get_next_arm(nullptr), left);
    EXPECT_EQ(dual.get_next_arm(left), right);
    EXPECT_EQ(dual.get_next_arm(right), nullptr);
    EXPECT_EQ(dual.get_next_arm(std::make_shared<robots::UR5e>()), nullptr);
}

TEST(Robots, DualArmConcatenatesJointLimits) {
    const velmor::DenavitHartenberg link {0.0, 0.0, 0.5, 0.0};
    const JointLimits slow {-1.0, 1.0, 0.5, 1.0, 2.0};
    const auto left = std::make_shared<RobotArm>("one", std::vector {link}, std::vector {slow});
    const auto right = std::make_shared<robots::UR5e>();
    const robots::DualArm dual(left, right);
    const auto limits = dual.get_joint_limits();
    ASSERT_EQ(limits.size(), 7u);
    EXPECT_EQ(limits[0].max_velocity, 0.5);
    EXPECT_NEAR(limits[1].max_velocity, 3.141592653589793, 1e-12);
    EXPECT_EQ(dual.get_degrees_of_freedom(), 7u);
}

TEST(Robots, DualArmRefusesMissingOrRepeatedArms) {
    const auto arm = std::make_shared<robots::UR5e>();
    EXPECT_THROW(robots::DualArm(arm, nullptr), VelmorError);
    EXPECT_THROW(robots::DualArm(arm, arm), VelmorError);
}

TEST(Environment, HoldsRobotsByName) {
    const auto arm = robots::make("ur5e");
    Environment environment(arm);
    EXPECT_EQ(environment.get_robot("ur5e"), arm);
    const auto other = robots::make("dual-arm");
    environment.add_robot("a-first", other);
    ASSERT_EQ(environment.get_robots().size(), 2u);
    EXPECT_EQ(environment.get_robots().front(), other);
    try {
        (void)environment.get_robot("missing");
        FAIL() << "expected VelmorError";
    } catch (const VelmorError& error) {
        EXPECT_EQ(error.module, "environment");
    }
    EXPECT_THROW(Environment(nullptr), VelmorError);
}

}  // namespace
