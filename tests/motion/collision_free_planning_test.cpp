#include <velmor/motion/planner.hpp>

#include <gtest/gtest.h>

#include <velmor/motion/robots.hpp>

#include "motion/trajectory_checks.hpp"

namespace {

using namespace velmor;
using velmor::testing::expect_ends_at;
using velmor::testing::expect_starts_at;
using velmor::testing::expect_within_limits;
using velmor::testing::waypoint_at;

// The tool at the pick station and at the place station of a cell; a fixture between
// them stands in the way of the direct motion, not of motions on the far side.
const std::vector<double> pick {0.6, -1.1, 1.8, -2.3, -1.57, 0.0};
const std::vector<double> place {-0.6, -1.1, 1.8, -2.3, -1.57, 0.0};
const std::vector<double> far_side {1.2, -1.1, 1.8, -2.3, -1.57, 0.0};

class AroundObstacles : public ::testing::Test {
protected:
    void SetUp() override {
        environment->add_obstacle("table", Box({1.6, 1.4, 0.04}, Frame::from_translation(-0.3, 0.0, -0.02)));
        environment->add_obstacle("fixture", Box({0.3, 0.1, 0.4}, Frame::from_translation(-0.6, -0.15, 0.2)));
    }

    std::shared_ptr<Robot> robot {robots::make("ur5e")};
    std::shared_ptr<Environment> environment {std::make_shared<Environment>(robot)};
    Planner planner {environment};
};

TEST_F(AroundObstacles, PlansAClearMotionWithinLimitsWhereTheDirectOneHitsTheFixture) {
    const Motion motion(robot, "over", pick, place);
    const auto direct = planner.plan(motion, std::nullopt, std::nullopt, PlanOptions {true, 0, 0});
    ASSERT_TRUE(direct.trajectory);
    const auto hit = planner.check_trajectory(*direct.trajectory);
    ASSERT_TRUE(hit);
    EXPECT_EQ(hit->obstacle, "fixture");

    for (const std::uint64_t seed : {0, 1, 2}) {
        const PlanResult result = planner.plan(motion, std::nullopt, std::nullopt, PlanOptions {false, seed, 2000});
        ASSERT_TRUE(result.trajectory) << result.warning;
        EXPECT_TRUE(result.warning.empty());
        EXPECT_GT(result.iterations, 0U);
        EXPECT_EQ(result.trajectory->motion, "over");
        EXPECT_FALSE(planner.check_trajectory(*result.trajectory)) << "seed " << seed;
        expect_starts_at(*result.trajectory, Waypoint(pick));
        expect_ends_at(*result.trajectory, Waypoint(place));
        expect_within_limits(*result.trajectory, robot->get_joint_limits(), planner.delta_time, false);
    }
}

TEST_F(AroundObstacles, TheSameSeedGivesTheSameTrajectory) {
    const Motion motion(robot, "", pick, place);
    const auto first = planner.plan(motion, std::nullopt, std::nullopt, PlanOptions {false, 7, 2000});
    const auto second = planner.plan(motion, std::nullopt, std::nullopt, PlanOptions {false, 7, 2000});
    ASSERT_TRUE(first.trajectory && second.trajectory);
    EXPECT_EQ(first.iterations, second.iterations);
    EXPECT_EQ(first.trajectory->times(), second.trajectory->times());
    EXPECT_EQ(first.trajectory->positions(), second.trajectory->positions());
}

TEST_F(AroundObstacles, KeepsTheDirectMotionWhenItIsClear) {
    const Motion motion(robot, "", pick, far_side);
    const auto direct = planner.plan(motion);
    const auto result = planner.plan(motion, std::nullopt, std::nullopt, PlanOptions {});
    ASSERT_TRUE(direct && result.trajectory);
    EXPECT_EQ(result.iterations, 0U);
    EXPECT_EQ(result.trajectory->positions(), direct->positions());
}

TEST_F(AroundObstacles, StopsAMovingStartFirstAndThenGoesAround) {
    // Half way from the pick station to the far side, still moving.
    const auto approach = planner.plan(Motion(robot, "", pick, far_side));
    const Waypoint moving = waypoint_at(*approach, approach->size() / 2);
    const auto result = planner.plan(Motion(robot, "", moving, place), std::nullopt, std::nullopt, PlanOptions {});
    ASSERT_TRUE(result.trajectory) << result.warning;
    EXPECT_GT(result.iterations, 0U);
    expect_starts_at(*result.trajectory, moving);
    expect_ends_at(*result.trajectory, Waypoint(place));
    EXPECT_FALSE(planner.check_trajectory(*result.trajectory));
    expect_within_limits(*result.trajectory, robot->get_joint_limits(), planner.delta_time, false);
}

struct Refusal {
    const char* name;
    std::vector<double> start;
    std::vector<double> goal;
    std::size_t max_iterations;
    const char* warning;
    const char* obstacle;
    bool cancelled {false};
};

class BlockedRequest : public AroundObstacles, public ::testing::WithParamInterface<Refusal> {};

TEST_P(BlockedRequest, GivesNoTrajectoryAndNamesTheBlockingPair) {
    const auto& [name, start, goal, max_iterations, warning, obstacle, cancelled] = GetParam();
    const std::atomic<bool> cancel {cancelled};
    const auto result = planner.plan(Motion(robot, "", start, goal), std::nullopt, std::nullopt,
                                     PlanOptions {false, 0, max_iterations, &cancel});
    EXPECT_FALSE(result.trajectory);
    EXPECT_EQ(result.warning.rfind(warning, 0), 0U) << result.warning;
    ASSERT_TRUE(result.blocking);
    EXPECT_EQ(result.blocking->obstacle, obstacle);
    EXPECT_NE(result.warning.find("obstacle \"" + std::string(obstacle) + "\""), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Planning, BlockedRequest,
    ::testing::Values(
        // The tool pushed down through the table top.
        Refusal {"goal_in_the_table", pick, {0.6, -0.75, 1.8, -2.3, -1.57, 0.0}, 2000, "The goal is in collision: ",
                 "table"},
        Refusal {"start_in_the_table", {0.6, -0.75, 1.8, -2.3, -1.57, 0.0}, pick, 2000,
                 "The start is in collision: ", "table"},
        Refusal {"search_without_iterations", pick, place, 0,
                 "No collision-free motion found in 0 iterations: the direct motion meets ", "fixture"},
        Refusal {"cancelled_search", pick, place, 2000,
                 "No collision-free motion found in 0 iterations: the direct motion meets ", "fixture", true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
