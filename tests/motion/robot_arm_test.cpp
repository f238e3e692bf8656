#include <velmor/motion/robot_arm.hpp>

#include <cmath>
#include <numbers>
#include <random>

#include <gtest/gtest.h>

#include <velmor/motion/robots.hpp>
#include <velmor/common/velmor_error.hpp>

namespace {

using velmor::Frame;
using velmor::robots::UR5e;

constexpr double pi = std::numbers::pi;

// The arm's table: shoulder height, upper arm, forearm and the three wrist offsets [m].
constexpr double d1 = 0.1625;
constexpr double a2 = -0.425;
constexpr double a3 = -0.3922;
constexpr double d4 = 0.1333;
constexpr double d5 = 0.0997;
constexpr double d6 = 0.0996;

void expect_position(const Frame& frame, double x, double y, double z) {
    EXPECT_NEAR(frame.translation().x(), x, 1e-12);
    EXPECT_NEAR(frame.translation().y(), y, 1e-12);
    EXPECT_NEAR(frame.translation().z(), z, 1e-12);
}

double rotation_angle(const Frame& a, const Frame& b) {
    return Eigen::AngleAxisd(a.rotation() * b.rotation().transpose()).angle();
}

TEST(RobotArm, ZeroPositionStretchesTheArmAlongNegativeX) {
    const UR5e arm;
    const Frame tcp = arm.calculate_tcp({0, 0, 0, 0, 0, 0});
    expect_position(tcp, a2 + a3, -(d4 + d6), d1 - d5);
    // The flange points along -y at zero.
    EXPECT_NEAR(tcp.rotation().col(2).y(), -1.0, 1e-12);
}

TEST(RobotArm, BaseJointRotatesTheToolAboutTheVerticalAxis) {
    const UR5e arm;
    const Frame tcp = arm.calculate_tcp({pi / 2, 0, 0, 0, 0, 0});
    expect_position(tcp, d4 + d6, a2 + a3, d1 - d5);
}

TEST(RobotArm, ShoulderAtMinusHalfTurnPointsTheArmUp) {
    const UR5e arm;
    const Frame tcp = arm.calculate_tcp({0, -pi / 2, 0, 0, 0, 0});
    expect_position(tcp, -d5, -(d4 + d6), d1 - a2 - a3);
}

TEST(RobotArm, ElbowAtHalfTurnFoldsTheForearmUp) {
    const UR5e arm;
    // Upper arm along -x, forearm turned up by the elbow: the wrist rises by |a3|.
    const Frame tcp = arm.calculate_tcp({0, 0, -pi / 2, 0, 0, 0});
    expect_position(tcp, a2 - d5, -(d4 + d6), d1 - a3);
}

TEST(RobotArm, JointFramesRunFromBaseToToolCentrePoint) {
    const Frame base = Frame::from_translation(0.1, 0.2, 0.3);
    const Frame tool = Frame::from_translation(0.0, 0.0, 0.05);
    const UR5e arm(base, tool);
    const std::vector<double> q {0.3, -1.1, 0.7, 0.2, -0.4, 1.0};
    const auto frames = arm.calculate_joint_frames(q);
    ASSERT_EQ(frames.size(), 8u);
    EXPECT_TRUE(frames.front().transform.isApprox(base.transform));
    EXPECT_TRUE(frames[1].translation().isApprox(Eigen::Vector3d(0.1, 0.2, 0.3 + d1)));
    EXPECT_TRUE(frames.back().transform.isApprox((frames[6] * tool).transform));
    EXPECT_TRUE(frames.back().transform.isApprox(arm.calculate_tcp(q).transform));
}

TEST(RobotArm, RefusesWrongNumberOfJoints) {
    const UR5e arm;
    EXPECT_THROW((void)arm.calculate_tcp({0, 0, 0}), velmor::VelmorError);
    EXPECT_THROW((void)arm.inverse_kinematics(Frame::Identity(), {0, 0}), velmor::VelmorError);
}

TEST(RobotArm, RefusesInvalidLimits) {
    const velmor::DenavitHartenberg link {0.1, 0.0, 0.2, 0.0};
    const velmor::JointLimits bad {1.0, -1.0, 1.0, 1.0, 1.0};
    EXPECT_THROW(velmor::RobotArm("bad", {link}, {bad}), velmor::VelmorError);
    const velmor::JointLimits good {-1.0, 1.0, 1.0, 1.0, 1.0};
    EXPECT_THROW(velmor::RobotArm("short", {link, link}, {good}), velmor::VelmorError);
}

TEST(RobotArm, InverseKinematicsRoundTripsRandomReachablePoses) {
    const auto arm = std::make_shared<UR5e>(Frame::from_euler(0.2, -0.1, 0.5, 0.3, 0.0, 0.0));
    std::mt19937 random(42);
    std::uniform_real_distribution<double> joint(-pi, pi);
    std::uniform_real_distribution<double> noise(-0.2, 0.2);
    for (int trial = 0; trial < 100; ++trial) {
        std::vector<double> q(6);
        std::vector<double> seed(6);
        for (std::size_t i = 0; i < 6; ++i) {
            q[i] = joint(random);
            seed[i] = q[i] + noise(random);
        }
        const Frame target = arm->calculate_tcp(q);
        const auto solution = arm->inverse_kinematics(target, seed);
        ASSERT_TRUE(solution.has_value()) << "trial " << trial;
        const Frame reached = arm->calculate_tcp(*solution);
        EXPECT_LT((reached.translation() - target.translation()).norm(), 1e-8) << "trial " << trial;
        EXPECT_LT(rotation_angle(reached, target), 1e-8) << "trial " << trial;
        for (std::size_t i = 0; i < 6; ++i) {
            EXPECT_LE(std::abs((*solution)[i]), 2 * pi);
        }
    }
}

TEST(RobotArm, InverseKinematicsStaysNearTheReference) {
    const UR5e arm;
    const std::vector<double> q {0.5, -1.2, 1.4, -1.6, -1.5, 0.3};
    const auto solution = arm.inverse_kinematics(arm.calculate_tcp(q), q);
    ASSERT_TRUE(solution.has_value());
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_NEAR((*solution)[i], q[i], 1e-6);
    }
}

TEST(RobotArm, InverseKinematicsPicksTheTurnNearestTheReference) {
    const UR5e arm;
    const std::vector<double> q {-0.5, -1.2, 1.4, -1.6, -1.5, 0.3};
    std::vector<double> reference = q;
    reference[0] += 2 * pi;
    const auto solution = arm.inverse_kinematics(arm.calculate_tcp(q), reference);
    ASSERT_TRUE(solution.has_value());
    EXPECT_NEAR((*solution)[0], q[0] + 2 * pi, 1e-6);
    // A turn further would leave the ±2π range, so the nearest equivalent inside it wins.
    const std::vector<double> beyond {0.5, -1.2, 1.4, -1.6, -1.5, 0.3};
    std::vector<double> outside = beyond;
    outside[0] += 2 * pi;
    const auto folded = arm.inverse_kinematics(arm.calculate_tcp(beyond), outside);
    ASSERT_TRUE(folded.has_value());
    EXPECT_NEAR((*folded)[0], beyond[0], 1e-6);
}

TEST(RobotArm, InverseKinematicsFailsForUnreachablePoses) {
    const UR5e arm;
    const std::vector<double> seed {0, -1, 1, 0, 0, 0};
    EXPECT_FALSE(arm.inverse_kinematics(Frame::from_translation(2.0, 0.0, 0.5), seed).has_value());
    EXPECT_FALSE(arm.inverse_kinematics(Frame::from_translation(0.0, 0.0, 1.5), seed).has_value());
}

TEST(RobotArm, InverseKinematicsFailsWhenOnlySolutionsBreakTheLimits) {
    // A planar two-link arm whose elbow may only bend one way: the mirrored pose is out of reach.
    const velmor::DenavitHartenberg link {0.0, 0.0, 0.5, 0.0};
    const velmor::JointLimits shoulder {-pi, pi, 1.0, 1.0, 1.0};
    const velmor::JointLimits elbow {0.0, pi / 2, 1.0, 1.0, 1.0};
    const auto arm = std::make_shared<velmor::RobotArm>("planar", std::vector {link, link},
                                                        std::vector {shoulder, elbow});
    const Frame bent = arm->calculate_tcp({0.0, 1.0});
    ASSERT_TRUE(arm->inverse_kinematics(bent, {0.0, 0.5}).has_value());
    // Reaching the same point with the opposite bend needs the elbow at -1 rad.
    const Frame mirrored = arm->calculate_tcp({1.0, -1.0});
    EXPECT_FALSE(arm->inverse_kinematics(mirrored, {1.0, -0.5}).has_value());
}

TEST(RobotArm, IsItsOwnOnlyArm) {
    const auto arm = std::make_shared<UR5e>();
    EXPECT_EQ(arm->get_next_arm(nullptr), arm);
    EXPECT_EQ(arm->get_next_arm(arm), nullptr);
}

}  // namespace
