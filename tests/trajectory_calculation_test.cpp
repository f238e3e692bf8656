#include <velmor/drivers/driver.hpp>

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <support/test_driver.hpp>
#include <velmor/motion/environment.hpp>
#include <velmor/motion/motion.hpp>
#include <velmor/motion/robots.hpp>

namespace velmor::drivers {
namespace {

using testing::arm_planner;
using testing::prints;
using testing::TestDriver;
using testing::trajectory_of;

const std::string off_start_warning = "New trajectory does not start from current robot position.";

void expect_near(const std::vector<double>& actual, const std::vector<double>& expected, double tolerance = 1e-6) {
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < actual.size(); ++i) {
        EXPECT_NEAR(actual[i], expected[i], tolerance) << "joint " << i;
    }
}

class TrajectoryCalculation : public ::testing::Test {
protected:
    void SetUp() override {
        state.position = {0.0, -1.0, 1.0, 0.0, 0.5, 0.0};
        state.velocity = std::vector<double>(6, 0.0);
        state.acceleration = std::vector<double>(6, 0.0);
    }

    // A marker that must survive every failed calculation.
    const velmor::Trajectory previous {trajectory_of({{9, 9, 9, 9, 9, 9}, {9, 9, 9, 9, 9, 8}})};
    std::shared_ptr<velmor::Planner> planner {arm_planner()};
    TestDriver driver {planner};
    RobotState state;
    velmor::Trajectory result {previous};

    void expect_untouched() const {
        EXPECT_EQ(result.size(), previous.size());
        EXPECT_EQ(result.positions(), previous.positions());
    }

    // Three samples 0.5 s apart moving joint 0 away from the state.
    [[nodiscard]] velmor::Trajectory target() const {
        std::vector<std::vector<double>> positions(3, state.position);
        positions[0][0] = 0.1;
        positions[1][0] = 0.2;
        positions[2][0] = 0.3;
        return trajectory_of(positions, 0.5);
    }

    [[nodiscard]] velmor::Trajectory approach_to(const velmor::Trajectory& trajectory, std::size_t k) const {
        const velmor::Waypoint start(state.position, state.velocity, state.acceleration);
        const velmor::Waypoint joining(trajectory.positions()[k], trajectory.velocities()[k],
                                       trajectory.accelerations()[k]);
        auto approach = planner->plan(velmor::LowLevelMotion(driver.robot, "", start, joining));
        EXPECT_TRUE(approach.has_value());
        return approach.value_or(velmor::Trajectory());
    }
};

TEST_F(TrajectoryCalculation, ReadyTrajectoryExactlyAtToleranceIsAccepted) {
    auto positions = std::vector<std::vector<double>>(2, state.position);
    // 1.1 - 1.0 is not exactly 0.1 in binary; the decimal difference is what counts.
    positions[0][2] = 1.1;
    positions[0][0] = 0.1;
    positions[1][2] = 1.2;
    const auto ready = trajectory_of(positions);
    ASSERT_TRUE(driver.calculate_trajectory(TrajectoryCommand {ready}, result, state));
    EXPECT_EQ(result.positions(), ready.positions());
}

TEST_F(TrajectoryCalculation, ReadyTrajectoryJustBeyondToleranceIsRefusedWithWarning) {
    auto positions = std::vector<std::vector<double>>(2, state.position);
    positions[0][0] = 0.1000001;
    bool calculated = true;
    EXPECT_TRUE(prints(off_start_warning, [&] {
        calculated = driver.calculate_trajectory(TrajectoryCommand {trajectory_of(positions)}, result, state);
    }));
    EXPECT_FALSE(calculated);
    expect_untouched();
}

TEST_F(TrajectoryCalculation, ReadyTrajectoryWithOtherJointCountIsRefusedWithWarning) {
    bool calculated = true;
    EXPECT_TRUE(prints(off_start_warning, [&] {
        calculated =
            driver.calculate_trajectory(TrajectoryCommand {trajectory_of({{0, -1, 1, 0, 0.5}})}, result, state);
    }));
    EXPECT_FALSE(calculated);
    expect_untouched();
}

TEST_F(TrajectoryCalculation, EmptyReadyTrajectoryIsRefusedWithWarning) {
    bool calculated = true;
    EXPECT_TRUE(prints(off_start_warning, [&] {
        calculated = driver.calculate_trajectory(TrajectoryCommand {velmor::Trajectory()}, result, state);
    }));
    EXPECT_FALSE(calculated);
    expect_untouched();
}

TEST_F(TrajectoryCalculation, ReadyTrajectoryOfTwoArmsIsComparedOnTheDrivenArm) {
    auto left = std::make_shared<velmor::robots::UR5e>();
    auto right = std::make_shared<velmor::robots::UR5e>();
    auto dual = std::make_shared<velmor::robots::DualArm>(left, right);
    TestDriver right_driver(std::make_shared<velmor::Planner>(dual), right);
    ASSERT_EQ(right_driver.joint_offset, 6U);

    std::vector<double> both(6, 2.0);
    both.insert(both.end(), state.position.begin(), state.position.end());
    EXPECT_TRUE(right_driver.calculate_trajectory(TrajectoryCommand {trajectory_of({both, both})}, result, state));
    EXPECT_EQ(result.degrees_of_freedom(), 12U);

    both[6] += 0.5;
    result = previous;
    EXPECT_FALSE(right_driver.calculate_trajectory(TrajectoryCommand {trajectory_of({both})}, result, state));
    expect_untouched();
}

TEST_F(TrajectoryCalculation, WithoutPlannerPlannedCommandsFailSilently) {
    driver.planner.reset();
    EXPECT_FALSE(driver.calculate_trajectory(BlendIntoCommand {target(), 0.0}, result, state));
    EXPECT_FALSE(driver.calculate_trajectory(MotionCommand {"home", std::nullopt, false}, result, state));
    EXPECT_FALSE(driver.calculate_trajectory(PointCommand {state.position, false}, result, state));
    EXPECT_FALSE(driver.calculate_trajectory(StopCommand {true}, result, state));
    expect_untouched();
    EXPECT_TRUE(driver.calculate_trajectory(TrajectoryCommand {trajectory_of({state.position})}, result, state));
}

TEST_F(TrajectoryCalculation, BlendAtZeroJoinsAtTheSecondSample) {
    const auto blended = target();
    ASSERT_TRUE(driver.calculate_trajectory(BlendIntoCommand {blended, 0.0}, result, state));
    const auto approach = approach_to(blended, 1);
    ASSERT_EQ(result.size(), approach.size() + 1);
    expect_near(result.front().position, state.position);
    expect_near(result.at(approach.size() - 1).position, blended.positions()[1]);
    expect_near(result.back().position, blended.positions()[2]);
    EXPECT_NEAR(result.duration(), approach.duration() + 0.5, 1e-9);
}

TEST_F(TrajectoryCalculation, BlendJoinsStrictlyAfterTheDuration) {
    const auto blended = target();
    ASSERT_TRUE(driver.calculate_trajectory(BlendIntoCommand {blended, 0.5}, result, state));
    const auto approach = approach_to(blended, 2);
    EXPECT_EQ(result.size(), approach.size());
    expect_near(result.back().position, blended.positions()[2]);
}

TEST_F(TrajectoryCalculation, BlendBeyondTheEndJoinsAtTheLastSample) {
    const auto blended = target();
    ASSERT_TRUE(driver.calculate_trajectory(BlendIntoCommand {blended, 7.0}, result, state));
    const auto approach = approach_to(blended, 2);
    EXPECT_EQ(result.size(), approach.size());
    EXPECT_NEAR(result.duration(), approach.duration(), 1e-9);
    expect_near(result.back().position, blended.positions()[2]);
}

TEST_F(TrajectoryCalculation, PointMoveGoesFromTheStateToTheGoal) {
    const std::vector<double> goal {0.3, -1.2, 1.1, 0.1, 0.4, 0.2};
    ASSERT_TRUE(driver.calculate_trajectory(PointCommand {goal, false}, result, state));
    expect_near(result.front().position, state.position);
    expect_near(result.back().position, goal);
}

TEST_F(TrajectoryCalculation, NamedMotionIsPlannedFromTheState) {
    const std::vector<double> goal {0.0, -1.5, 1.5, 0.0, 0.0, 0.0};
    planner->add_motion(velmor::Motion(driver.robot, "home", std::nullopt, goal));
    ASSERT_TRUE(driver.calculate_trajectory(MotionCommand {"home", std::nullopt, false}, result, state));
    expect_near(result.front().position, state.position);
    expect_near(result.back().position, goal);

    const std::vector<double> other {0.2, -1.5, 1.5, 0.0, 0.0, 0.0};
    ASSERT_TRUE(driver.calculate_trajectory(MotionCommand {"home", Goal(other), false}, result, state));
    expect_near(result.back().position, other);
}

TEST_F(TrajectoryCalculation, UnknownNamedMotionIsAWarningNotAnException) {
    bool calculated = true;
    EXPECT_TRUE(prints("[velmor.exception.planner]", [&] {
        EXPECT_NO_THROW(calculated =
                            driver.calculate_trajectory(MotionCommand {"nowhere", std::nullopt, false}, result, state));
    }));
    EXPECT_FALSE(calculated);
    expect_untouched();
}

TEST_F(TrajectoryCalculation, StopBringsAMovingRobotToRest) {
    state.velocity = {0.5, -0.3, 0.2, 0.0, 0.1, 0.0};
    ASSERT_TRUE(driver.calculate_trajectory(StopCommand {true}, result, state));
    expect_near(result.front().position, state.position);
    expect_near(result.front().velocity, state.velocity);
    expect_near(result.back().velocity, std::vector<double>(6, 0.0));
    expect_near(result.back().acceleration, std::vector<double>(6, 0.0));
    EXPECT_GT(result.duration(), 0.0);
}

// A block around the goal's tool position: the flag decides whether the goal counts.
class PointMoveIntoAnObstacle : public TrajectoryCalculation, public ::testing::WithParamInterface<bool> {};

TEST_P(PointMoveIntoAnObstacle, IsRefusedWithTheBlockingPairUnlessCollisionsAreIgnored) {
    const bool ignore_collisions = GetParam();
    const std::vector<double> goal {0.3, -1.2, 1.1, 0.1, 0.4, 0.2};
    const auto arm = std::dynamic_pointer_cast<velmor::RobotArm>(driver.robot);
    ASSERT_TRUE(arm);
    const auto tool = arm->calculate_tcp(goal).translation();
    planner->environment->add_obstacle(
        "block", velmor::Box({0.1, 0.1, 0.1}, velmor::Frame::from_translation(tool.x(), tool.y(), tool.z())));
    bool calculated = !ignore_collisions;
    const bool warned = prints("The goal is in collision: link \"wrist_3\" and obstacle \"block\".", [&] {
        calculated = driver.calculate_trajectory(PointCommand {goal, ignore_collisions}, result, state);
    }, std::chrono::milliseconds(ignore_collisions ? 300 : 3000));
    EXPECT_EQ(calculated, ignore_collisions);
    EXPECT_EQ(warned, !ignore_collisions);
    if (ignore_collisions) {
        expect_near(result.back().position, goal);
    } else {
        expect_untouched();
    }
}

INSTANTIATE_TEST_SUITE_P(TrajectoryCalculation, PointMoveIntoAnObstacle, ::testing::Bool());

TEST_F(TrajectoryCalculation, TheControlLoopsFormLeavesTheSearchAroundAnObstacleForLater) {
    // A post between the state's tool position and the goal's.
    const std::vector<double> goal {-0.6, -1.0, 1.0, 0.0, 0.5, 0.0};
    planner->environment->add_obstacle("post", velmor::Cylinder(0.04, 0.2, velmor::Frame::from_translation(-0.69, 0.0, 0.3)));
    ASSERT_TRUE(planner->check_trajectory(*planner->plan(velmor::Motion(driver.robot, "", state.position, goal))));
    using Planning = TestDriver::DirectPlanning;
    EXPECT_EQ(driver.calculate_direct_trajectory(PointCommand {goal, false}, result, state), Planning::SearchNeeded);
    expect_untouched();
    EXPECT_EQ(driver.calculate_direct_trajectory(PointCommand {goal, true}, result, state), Planning::Planned);
    expect_near(result.back().position, goal);
    EXPECT_EQ(driver.calculate_direct_trajectory(PointCommand {state.position, false}, result, state), Planning::Planned);

    // The full calculation searches, unless it is cancelled.
    ASSERT_TRUE(driver.calculate_trajectory(PointCommand {goal, false}, result, state));
    EXPECT_FALSE(planner->check_trajectory(result));
    const std::atomic<bool> cancelled {true};
    bool calculated = true;
    EXPECT_TRUE(prints("No collision-free motion found in 0 iterations", [&] {
        calculated = driver.calculate_trajectory(PointCommand {goal, false}, result, state, &cancelled);
    }));
    EXPECT_FALSE(calculated);
}

}  // namespace
}  // namespace velmor::drivers
