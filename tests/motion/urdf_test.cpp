#include <velmor/motion/urdf.hpp>

#include <cmath>
#include <fstream>
#include <numbers>
#include <random>
#include <sstream>

#include <gtest/gtest.h>

#include <velmor/common/velmor_error.hpp>
#include <velmor/motion/robots.hpp>

#include "support/robots_folder.hpp"

namespace {

using velmor::Frame;
using velmor::RobotArm;

const std::string robots_folder = velmor::testing::robots_folder();

std::vector<double> random_position(const RobotArm& arm, std::mt19937& random, double margin = 0.0) {
    std::vector<double> q;
    for (const auto& limit : arm.get_joint_limits()) {
        const double low = std::isfinite(limit.min_position) ? limit.min_position : -std::numbers::pi;
        const double high = std::isfinite(limit.max_position) ? limit.max_position : std::numbers::pi;
        q.push_back(std::uniform_real_distribution<double>(low + margin * (high - low),
                                                           high - margin * (high - low))(random));
    }
    return q;
}

double rotation_error(const Frame& a, const Frame& b) {
    return Eigen::AngleAxisd(a.rotation() * b.rotation().transpose()).angle();
}

TEST(Urdf, BuiltInArmReadBackGivesTheSameToolFrames) {
    const Frame base = Frame::from_euler(0.3, -0.2, 0.1, 0.4, -0.2, 1.1);
    const Frame tool = Frame::from_euler(0.01, 0.02, 0.15, 0.0, 0.3, -0.5);
    const velmor::robots::UR5e built_in(base, tool);
    velmor::robots::UrdfOptions options;
    options.base = base;
    options.tool_offset = tool;
    const auto read_back = velmor::robots::from_urdf(built_in.to_urdf(), options);
    ASSERT_EQ(read_back->get_degrees_of_freedom(), 6U);
    std::mt19937 random(26);
    double largest = 0.0;
    for (int sample = 0; sample < 10'000; ++sample) {
        const auto q = random_position(built_in, random);
        const Eigen::Matrix4d difference =
            built_in.calculate_tcp(q).transform.matrix() - read_back->calculate_tcp(q).transform.matrix();
        largest = std::max(largest, difference.cwiseAbs().maxCoeff());
    }
    EXPECT_LT(largest, 1e-12);
    const auto& limits = read_back->get_joint_limits();
    for (std::size_t i = 0; i < limits.size(); ++i) {
        EXPECT_EQ(limits[i].min_position, built_in.get_joint_limits()[i].min_position);
        EXPECT_EQ(limits[i].max_velocity, built_in.get_joint_limits()[i].max_velocity);
        EXPECT_EQ(limits[i].max_acceleration, 4.0 * limits[i].max_velocity);
    }
    // The model shipped with the library is this export.
    std::ifstream shipped(robots_folder + "/six_axis.urdf");
    std::stringstream text;
    text << shipped.rdbuf();
    EXPECT_EQ(text.str(), velmor::robots::UR5e().to_urdf());
}

TEST(Urdf, SevenAxisInverseKinematicsReachesRandomPosesWithinLimits) {
    const auto arm = velmor::robots::from_urdf(robots_folder + "/seven_axis.urdf");
    ASSERT_EQ(arm->get_degrees_of_freedom(), 7U);
    std::mt19937 random(7);
    std::uniform_real_distribution<double> nudge(-0.3, 0.3);
    for (int sample = 0; sample < 300; ++sample) {
        const auto target_q = random_position(*arm, random, 0.05);
        const Frame target = arm->calculate_tcp(target_q);
        auto reference = target_q;
        for (double& value : reference) {
            value += nudge(random);
        }
        const auto solution = arm->inverse_kinematics(target, reference);
        ASSERT_TRUE(solution) << "sample " << sample;
        const Frame reached = arm->calculate_tcp(*solution);
        EXPECT_LT((reached.translation() - target.translation()).norm(), 1e-9);
        EXPECT_LT(rotation_error(reached, target), 1e-9);
        for (std::size_t i = 0; i < solution->size(); ++i) {
            EXPECT_GE((*solution)[i], arm->get_joint_limits()[i].min_position);
            EXPECT_LE((*solution)[i], arm->get_joint_limits()[i].max_position);
        }
    }
}

TEST(Urdf, GantrySlidesTurnsEndlesslyAndSolvesPoses) {
    velmor::robots::UrdfOptions options;
    options.max_acceleration = {2.0};
    options.max_jerk = {10, 10, 10, 30, 30, 60};
    const auto gantry = velmor::robots::from_urdf(robots_folder + "/gantry_wrist.urdf", options);
    const auto limits = gantry->get_joint_limits();
    ASSERT_EQ(limits.size(), 6U);
    EXPECT_TRUE(std::isinf(limits[5].min_position) && std::isinf(limits[5].max_position));
    EXPECT_EQ(limits[2].max_acceleration, 2.0);
    EXPECT_EQ(limits[5].max_jerk, 60.0);
    // Lowering the quill by 0.2 m moves the tool plate straight down.
    const std::vector<double> home {0.5, 0.4, 0.0, 0.0, 0.0, 0.0};
    auto lowered = home;
    lowered[2] = 0.2;
    const Eigen::Vector3d drop =
        gantry->calculate_tcp(lowered).translation() - gantry->calculate_tcp(home).translation();
    EXPECT_LT((drop - Eigen::Vector3d(0.0, 0.0, -0.2)).norm(), 1e-12);
    std::mt19937 random(3);
    for (int sample = 0; sample < 50; ++sample) {
        const auto q = random_position(*gantry, random, 0.05);
        const auto solution = gantry->inverse_kinematics(gantry->calculate_tcp(q), home);
        ASSERT_TRUE(solution) << "sample " << sample;
        EXPECT_LT((gantry->calculate_tcp(*solution).translation() - gantry->calculate_tcp(q).translation()).norm(),
                  1e-9);
    }
}

}  // namespace
