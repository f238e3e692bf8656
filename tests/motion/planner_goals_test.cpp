#include <velmor/motion/planner.hpp>

#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include <velmor/motion/robots.hpp>
#include <velmor/common/velmor_error.hpp>

#include "motion/trajectory_checks.hpp"

namespace {

using namespace velmor;
using velmor::testing::expect_ends_at;
using velmor::testing::expect_planner_error;
using velmor::testing::expect_within_limits;

const std::vector<double> home {0.3, -1.2, 1.4, -1.6, -1.5, 0.3};

double distance(const Frame& a, const Frame& b) {
    return (a.translation() - b.translation()).norm() +
           Eigen::AngleAxisd(a.rotation() * b.rotation().transpose()).angle();
}

TEST(PlannerGoals, PlansRegisteredMotionsByName) {
    const auto robot = robots::make("ur5e");
    Planner planner(robot);
    const std::vector<double> goal {0.0, -1.0, 1.0, 0.0, 0.0, 0.0};
    planner.add_motion(Motion(robot, "to-goal", home, goal));
    const auto own = planner.plan("to-goal");
    ASSERT_TRUE(own.has_value());
    EXPECT_EQ(own->motion, "to-goal");
    EXPECT_EQ(own->front().position, home);
    expect_ends_at(*own, Waypoint(goal));

    const std::vector<double> elsewhere(6, 0.2);
    const auto overridden = planner.plan("to-goal", Goal(elsewhere), Goal(home));
    ASSERT_TRUE(overridden.has_value());
    EXPECT_EQ(overridden->front().position, elsewhere);
    expect_ends_at(*overridden, Waypoint(home));
}

TEST(PlannerGoals, ANewMotionReplacesOneOfTheSameName) {
    const auto robot = robots::make("ur5e");
    Planner planner(robot);
    planner.add_motion(Motion(robot, "m", home, std::vector<double>(6, 0.0)));
    planner.add_motion(Motion(robot, "m", home, std::vector<double>(6, 0.5)));
    expect_ends_at(*planner.plan("m"), Waypoint(std::vector<double>(6, 0.5)));
}

TEST(PlannerGoals, RefusesUnknownNamesAndMissingStarts) {
    const auto robot = robots::make("ur5e");
    Planner planner(robot);
    expect_planner_error([&] { (void)planner.plan("nowhere"); }, "nowhere");
    planner.add_motion(Motion(robot, "startless", std::nullopt, home));
    expect_planner_error([&] { (void)planner.plan("startless"); }, "start");
    EXPECT_TRUE(planner.plan("startless", Goal(std::vector<double>(6, 0.0))).has_value());
}

TEST(PlannerGoals, MotionsWithoutRobotUseTheEnvironmentsOnlyRobot) {
    const auto robot = robots::make("ur5e");
    const Planner planner(robot);
    EXPECT_TRUE(planner.plan(Motion(nullptr, "", home, std::vector<double>(6, 0.0))).has_value());
    LowLevelMotion stop(nullptr, "", Waypoint(home, std::vector<double>(6, 0.5)), Waypoint(0));
    stop.control_interface = LowLevelMotion::ControlInterface::Velocity;
    EXPECT_TRUE(planner.plan(stop).has_value());

    auto environment = std::make_shared<Environment>(robot);
    environment->add_robot("second", robots::make("ur5e"));
    const Planner crowded(environment);
    expect_planner_error([&] { (void)crowded.plan(Motion(nullptr, "", home, home)); }, "2 robots");
    const Planner empty;
    expect_planner_error([&] { (void)empty.plan(Motion(nullptr, "", home, home)); }, "0 robots");
}

TEST(PlannerGoals, ARegionClampsTheStartIntoItsBox) {
    const auto robot = robots::make("ur5e");
    const Planner planner(robot);
    const Region box {{0.0, -1.0, 1.0, -2.0, -2.0, 0.0}, {0.2, 0.0, 1.2, 0.0, 0.0, 0.2}};
    const auto trajectory = planner.plan(Motion(robot, "", home, box));
    ASSERT_TRUE(trajectory.has_value());
    expect_ends_at(*trajectory, Waypoint(std::vector<double> {0.2, -1.0, 1.2, -1.6, -1.5, 0.2}));
    expect_within_limits(*trajectory, robot->get_joint_limits(), planner.delta_time);

    const Region around {std::vector<double>(6, -2.0), std::vector<double>(6, 2.0)};
    const auto stay = planner.plan(Motion(robot, "", home, around));
    ASSERT_TRUE(stay.has_value());
    EXPECT_EQ(stay->size(), 1u);

    expect_planner_error([&] { (void)planner.plan(Motion(robot, "", home, Region {{0.0}, {1.0}})); }, "region");
}

TEST(PlannerGoals, ReachesCartesianWaypoints) {
    const auto robot = robots::make("ur5e");
    const auto arm = robot->get_next_arm();
    const Planner planner(robot);
    const std::vector<double> target_joints {0.6, -1.0, 1.2, -1.4, -1.6, 0.5};
    const Frame target = arm->calculate_tcp(target_joints);
    const auto trajectory = planner.plan(Motion(robot, "", home, CartesianWaypoint {target, std::nullopt}));
    ASSERT_TRUE(trajectory.has_value());
    EXPECT_LT(distance(arm->calculate_tcp(trajectory->back().position), target), 1e-8);
    expect_within_limits(*trajectory, robot->get_joint_limits(), planner.delta_time);

    // The reference decides between solutions: seeded at the target joints, it ends there.
    const auto seeded = planner.plan(Motion(robot, "", home, CartesianWaypoint {target, target_joints}));
    ASSERT_TRUE(seeded.has_value());
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_NEAR(seeded->back().position[i], target_joints[i], 1e-6);
    }
}

TEST(PlannerGoals, UnreachableCartesianGoalsGiveNoTrajectory) {
    const auto robot = robots::make("ur5e");
    const Planner planner(robot);
    const CartesianWaypoint far {Frame::from_translation(3.0, 0.0, 0.0), std::nullopt};
    EXPECT_FALSE(planner.plan(Motion(robot, "", home, far)).has_value());
    const CartesianWaypoint bad_reference {Frame::Identity(), std::vector<double> {0.0}};
    expect_planner_error([&] { (void)planner.plan(Motion(robot, "", home, bad_reference)); }, "reference");
}

TEST(PlannerGoals, StartsFromACartesianPoint) {
    const auto robot = robots::make("ur5e");
    const auto arm = robot->get_next_arm();
    const Planner planner(robot);
    const Frame start = arm->calculate_tcp(home);
    const auto trajectory = planner.plan(Motion(robot, "", CartesianWaypoint {start, home}, std::vector<double>(6)));
    ASSERT_TRUE(trajectory.has_value());
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_NEAR(trajectory->front().position[i], home[i], 1e-6);
    }
}

TEST(PlannerGoals, ACartesianRegionKeepsAStartInsideItsTolerance) {
    const auto robot = robots::make("ur5e");
    const auto arm = robot->get_next_arm();
    const Planner planner(robot);
    const Frame here = arm->calculate_tcp(home);
    const Frame near = here * Frame::from_translation(0.0, 0.0, 0.005);
    const auto stay = planner.plan(Motion(robot, "", home, CartesianRegion {near, 0.01, 0.01, std::nullopt}));
    ASSERT_TRUE(stay.has_value());
    EXPECT_EQ(stay->size(), 1u);

    const auto go = planner.plan(Motion(robot, "", home, CartesianRegion {near, 0.001, 0.01, std::nullopt}));
    ASSERT_TRUE(go.has_value());
    EXPECT_GT(go->size(), 1u);
    EXPECT_LT(distance(arm->calculate_tcp(go->back().position), near), 1e-8);
}

TEST(PlannerGoals, RobotMapMovesOnlyTheNamedArmsOfADualArm) {
    const auto robot = robots::make("dual-arm");
    const auto left = robot->get_next_arm();
    const auto right = robot->get_next_arm(left);
    const Planner planner(robot);
    std::vector<double> start(home);
    start.insert(start.end(), home.begin(), home.end());
    const std::vector<double> right_goal {0.0, -1.0, 1.0, 0.0, 0.5, 0.0};
    const auto trajectory = planner.plan(Motion(robot, "", start, RobotMap {{right, right_goal}}));
    ASSERT_TRUE(trajectory.has_value());
    std::vector<double> expected(home);
    expected.insert(expected.end(), right_goal.begin(), right_goal.end());
    expect_ends_at(*trajectory, Waypoint(expected));
    expect_within_limits(*trajectory, robot->get_joint_limits(), planner.delta_time);

    // A Cartesian point for the left arm is solved in the world, with that arm's base.
    const std::vector<double> left_joints {0.4, -1.1, 1.3, -1.5, -1.4, 0.2};
    const Frame left_target = left->calculate_tcp(left_joints);
    const auto reach = planner.plan(
        Motion(robot, "", start, RobotMap {{left, CartesianWaypoint {left_target, std::nullopt}}}));
    ASSERT_TRUE(reach.has_value());
    const std::vector<double> end = reach->back().position;
    EXPECT_LT(distance(left->calculate_tcp({end.begin(), end.begin() + 6}), left_target), 1e-8);
    EXPECT_EQ(std::vector<double>(end.begin() + 6, end.end()), home);
}

TEST(PlannerGoals, RobotMapRefusesForeignArmsAndDualArmsRefuseCartesianGoals) {
    const auto robot = robots::make("dual-arm");
    const Planner planner(robot);
    const std::vector<double> start(12, 0.0);
    const auto stranger = std::make_shared<robots::UR5e>();
    expect_planner_error(
        [&] { (void)planner.plan(Motion(robot, "", start, RobotMap {{stranger, std::vector<double>(6, 0.0)}})); },
        "not part");
    expect_planner_error(
        [&] { (void)planner.plan(Motion(robot, "", start, CartesianWaypoint {Frame::Identity(), std::nullopt})); },
        "RobotMap");
    expect_planner_error(
        [&] {
            (void)planner.plan(
                Motion(robot, "", RobotMap {{robot->get_next_arm(), std::vector<double>(6, 0.0)}}, start));
        },
        "no point for arm 1");
}

TEST(PlannerGoals, PlansFromSeveralThreadsWhileMotionsAreAdded) {
    const auto robot = robots::make("ur5e");
    Planner planner(robot);
    planner.add_motion(Motion(robot, "shared", home, std::vector<double>(6, 0.0)));
    std::atomic<int> failures {0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 20; ++i) {
                const auto trajectory = planner.plan("shared");
                if (!trajectory || trajectory->back().position != std::vector<double>(6, 0.0)) {
                    ++failures;
                }
                if (t == 0) {
                    planner.add_motion(Motion(robot, "extra-" + std::to_string(i), home, home));
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures.load(), 0);
    EXPECT_TRUE(planner.plan("extra-19").has_value());
}

}  // namespace
