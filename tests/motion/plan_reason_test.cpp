#include <velmor/motion/plan_options.hpp>

#include <algorithm>
#include <cmath>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <velmor/log/log.hpp>
#include <velmor/motion/planner.hpp>
#include <velmor/motion/robots.hpp>

namespace {

using namespace velmor;

const std::vector<double> start {0.6, -1.1, 1.8, -2.3, -1.57, 0.0};

std::vector<double> numbers_in(const std::string& text) {
    std::vector<double> found;
    const std::regex number(R"(-?\d+(\.\d+)?)");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), number); it != std::sregex_iterator(); ++it) {
        found.push_back(std::stod(it->str()));
    }
    return found;
}

// Whether `reason` states `value` to within the digits it prints.
bool states(const std::string& reason, double value) {
    const auto numbers = numbers_in(reason);
    return std::any_of(numbers.begin(), numbers.end(), [&](double n) { return std::abs(n - value) < 2e-3; });
}

struct Scene {
    std::shared_ptr<RobotArm> arm {std::dynamic_pointer_cast<RobotArm>(robots::make("ur5e"))};
    std::shared_ptr<Environment> environment {std::make_shared<Environment>(arm)};
    Planner planner {environment};
};

// One class of failure: the goal that makes the scene fail, and what its reason must say.
struct FailureCase {
    MotionGoal (*goal)(Scene&);
    void (*check)(const Scene&, const PlanResult&);
};

class PlanReason : public ::testing::TestWithParam<FailureCase> {};

TEST_P(PlanReason, NamesTheCauseAndIsLoggedAtInfo) {
    Scene scene;
    const MotionGoal goal = GetParam().goal(scene);
    const log::Level saved = log::level.load();
    log::level = log::Level::Info;
    ::testing::internal::CaptureStdout();
    const PlanResult result = scene.planner.plan(Motion(scene.arm, "", start, goal), std::nullopt, std::nullopt, {});
    log::async_printer.flush();
    const std::string printed = ::testing::internal::GetCapturedStdout();
    log::level = saved;

    ASSERT_FALSE(result.trajectory);
    ASSERT_FALSE(result.reason.empty());
    GetParam().check(scene, result);
    EXPECT_NE(printed.find("[velmor.planner] No trajectory: " + result.reason), std::string::npos) << printed;
}

MotionGoal beyond_joint_3(Scene& scene) {
    std::vector<double> goal = start;
    goal[3] = scene.arm->get_joint_limits()[3].max_position + 0.5;
    return goal;
}

void names_joint_3_and_its_limit(const Scene& scene, const PlanResult& result) {
    const double limit = scene.arm->get_joint_limits()[3].max_position;
    EXPECT_NE(result.reason.find("Joint 3"), std::string::npos) << result.reason;
    EXPECT_TRUE(states(result.reason, limit + 0.5) && states(result.reason, limit)) << result.reason;
}

const Eigen::Vector3d far_off(3.0, 0.0, 0.0);

MotionGoal far_off_pose(Scene& scene) {
    const Frame shift = Frame::from_translation(far_off.x(), far_off.y(), far_off.z());
    return CartesianWaypoint {shift * scene.arm->calculate_tcp(start), std::nullopt};
}

void tells_how_far_beyond_reach(const Scene& scene, const PlanResult& result) {
    // Moving the pose carries its wrist centre, the last joint's origin, along.
    const double distance = (scene.arm->calculate_joint_frames(start)[5].translation() + far_off).norm();
    const double reach = numbers_in(result.reason).back();
    EXPECT_NE(result.reason.find("out of reach"), std::string::npos) << result.reason;
    EXPECT_TRUE(states(result.reason, distance) && states(result.reason, distance - reach)) << result.reason;
}

MotionGoal touching_block(Scene& scene) {
    const std::vector<double> goal {-start[0], start[1], start[2], start[3], start[4], start[5]};
    scene.environment->add_obstacle("block", Box({0.1, 0.1, 0.1}, scene.arm->calculate_tcp(goal)));
    return goal;
}

void names_the_pair(const Scene&, const PlanResult& result) {
    ASSERT_TRUE(result.blocking);
    const std::string pair = "\"" + result.blocking->link_name + "\" and obstacle \"block\"";
    EXPECT_NE(result.reason.find(pair), std::string::npos) << result.reason;
}

// Joint beyond its limit, pose out of reach, goal touching an obstacle.
INSTANTIATE_TEST_SUITE_P(Failures, PlanReason,
                         ::testing::Values(FailureCase {beyond_joint_3, names_joint_3_and_its_limit},
                                           FailureCase {far_off_pose, tells_how_far_beyond_reach},
                                           FailureCase {touching_block, names_the_pair}));

}  // namespace
