#include <velmor/motion/planner.hpp>

#include <cmath>
#include <random>

#include <gtest/gtest.h>

#include <velmor/motion/robots.hpp>
#include <velmor/common/velmor_error.hpp>

#include "motion/trajectory_checks.hpp"

namespace {

using namespace velmor;
using velmor::testing::expect_ends_at;
using velmor::testing::expect_planner_error;
using velmor::testing::expect_starts_at;
using velmor::testing::expect_within_limits;
using velmor::testing::waypoint_at;

//! A six-joint arm with the same limits on every joint.
std::shared_ptr<RobotArm> arm_with(const JointLimits& limits) {
    const robots::UR5e model;
    return std::make_shared<RobotArm>("test-arm", model.get_dh_parameters(), std::vector<JointLimits>(6, limits));
}

//! Shortest rest-to-rest time over `distance`, found by bisection on the peak
//! velocity rather than by the planner's closed form.
double optimal_duration(double distance, const JointLimits& l) {
    const double h = std::abs(distance);
    const double a = l.max_acceleration;
    const double j = l.max_jerk;
    // Time to accelerate from rest to `peak` and back to zero acceleration.
    const auto ramp = [&](double peak) { return peak * j >= a * a ? peak / a + a / j : 2 * std::sqrt(peak / j); };
    const double v = l.max_velocity;
    if (v * ramp(v) <= h) {
        return 2 * ramp(v) + (h - v * ramp(v)) / v;
    }
    double lo = 0.0;
    double hi = v;
    for (int i = 0; i < 200; ++i) {
        const double mid = (lo + hi) / 2;
        (mid * ramp(mid) < h ? lo : hi) = mid;
    }
    return 2 * ramp(lo);
}

std::vector<double> random_position(std::mt19937& random, double range) {
    std::uniform_real_distribution<double> joint(-range, range);
    std::vector<double> q(6);
    for (double& x : q) {
        x = joint(random);
    }
    return q;
}

//! A moving state the robot can be in: a sample of a random planned move.
Waypoint random_moving_state(const Planner& planner, const std::shared_ptr<Robot>& robot, std::mt19937& random) {
    const auto move = planner.plan(Motion(robot, "", random_position(random, 3.0), random_position(random, 3.0)));
    std::uniform_int_distribution<std::size_t> index(1, move->size() - 2);
    return waypoint_at(*move, index(random));
}

const JointLimits ur5e_limits = robots::UR5e().get_joint_limits().front();
const JointLimits jerk_bound_limits {-10.0, 10.0, 1.0, 4.0, 10.0};  // jerk keeps the acceleration below its limit

struct SingleJointMove {
    JointLimits limits;
    double distance;
};

class SingleJointRestToRest : public ::testing::TestWithParam<SingleJointMove> {};

TEST_P(SingleJointRestToRest, TakesTheTimeOptimalDuration) {
    const auto [limits, distance] = GetParam();
    const auto robot = arm_with(limits);
    const Planner planner(robot);
    const std::vector<double> start {0.1, 0, 0, 0, 0, 0};
    std::vector<double> goal = start;
    goal[0] += distance;
    const auto trajectory = planner.plan(Motion(robot, "single", start, goal));
    ASSERT_TRUE(trajectory.has_value());
    const double bound = optimal_duration(distance, limits);
    EXPECT_GE(trajectory->duration(), bound * (1 - 1e-9));
    EXPECT_LE(trajectory->duration(), bound * 1.01);
    expect_within_limits(*trajectory, robot->get_joint_limits(), planner.delta_time);
    expect_starts_at(*trajectory, Waypoint(start));
    expect_ends_at(*trajectory, Waypoint(goal));
}

INSTANTIATE_TEST_SUITE_P(Regimes, SingleJointRestToRest,
                         ::testing::Values(SingleJointMove {ur5e_limits, 3.0}, SingleJointMove {ur5e_limits, -1.0},
                                           SingleJointMove {ur5e_limits, 0.1}, SingleJointMove {ur5e_limits, 0.001},
                                           SingleJointMove {jerk_bound_limits, 5.0},
                                           SingleJointMove {jerk_bound_limits, -0.2}));

TEST(Planner, RestToRestJointsStartAndFinishTogether) {
    const auto robot = robots::make("ur5e");
    const Planner planner(robot);
    const auto limits = robot->get_joint_limits();
    std::mt19937 random(7);
    for (int trial = 0; trial < 50; ++trial) {
        const auto start = random_position(random, 6.0);
        const auto goal = random_position(random, 6.0);
        const auto trajectory = planner.plan(Motion(robot, "sync", start, goal));
        ASSERT_TRUE(trajectory.has_value());
        double bound = 0.0;
        for (std::size_t i = 0; i < 6; ++i) {
            bound = std::max(bound, optimal_duration(goal[i] - start[i], limits[i]));
        }
        EXPECT_NEAR(trajectory->duration(), bound, bound * 0.01);
        expect_within_limits(*trajectory, limits, planner.delta_time);
        expect_starts_at(*trajectory, Waypoint(start));
        expect_ends_at(*trajectory, Waypoint(goal));
        // Every joint is still on its way one sample before the end and half-way through.
        const State before_end = trajectory->at(trajectory->size() - 2);
        const State middle = trajectory->at(trajectory->size() / 2);
        for (std::size_t i = 0; i < 6; ++i) {
            EXPECT_NE(before_end.position[i], goal[i]) << "trial " << trial << " joint " << i;
            EXPECT_GT(std::abs(middle.velocity[i]), 0.0) << "trial " << trial << " joint " << i;
        }
    }
}

TEST(Planner, SamplesAtItsDeltaTimeWithTheLastSampleAtTheEnd) {
    const auto robot = robots::make("ur5e");
    const Planner planner(robot, 0.01);
    const auto trajectory = planner.plan(Motion(robot, "grid", std::vector<double>(6, 0.0),
                                                std::vector<double> {0.5, 0, 0, 0, 0, 0}));
    ASSERT_TRUE(trajectory.has_value());
    expect_within_limits(*trajectory, robot->get_joint_limits(), 0.01);
    EXPECT_NEAR(trajectory->times()[1], 0.01, 1e-15);
}

TEST(Planner, AGoalAtTheStartGivesASingleSample) {
    const auto robot = robots::make("ur5e");
    const Planner planner(robot);
    const std::vector<double> here {0.1, 0.2, 0.3, 0.4, 0.5, 0.6};
    const auto trajectory = planner.plan(Motion(robot, "stay", here, here));
    ASSERT_TRUE(trajectory.has_value());
    EXPECT_EQ(trajectory->size(), 1u);
    EXPECT_EQ(trajectory->duration(), 0.0);
    EXPECT_EQ(trajectory->front().position, here);
}

TEST(Planner, StopsFromRandomMovingStatesWithinTheLimits) {
    const auto robot = robots::make("ur5e");
    const Planner planner(robot);
    std::mt19937 random(11);
    for (int trial = 0; trial < 100; ++trial) {
        const Waypoint moving = random_moving_state(planner, robot, random);
        LowLevelMotion stop(robot, "stop", moving, Waypoint(0));
        stop.control_interface = LowLevelMotion::ControlInterface::Velocity;
        const auto trajectory = planner.plan(stop);
        ASSERT_TRUE(trajectory.has_value());
        expect_within_limits(*trajectory, robot->get_joint_limits(), planner.delta_time);
        expect_starts_at(*trajectory, moving);
        const State end = trajectory->back();
        EXPECT_EQ(end.velocity, std::vector<double>(6, 0.0));
        EXPECT_EQ(end.acceleration, std::vector<double>(6, 0.0));
        EXPECT_EQ(trajectory->motion, "stop");
    }
}

TEST(Planner, StopsFromCruiseInTheShortestTime) {
    const JointLimits& l = ur5e_limits;
    const auto robot = robots::make("ur5e");
    const Planner planner(robot);
    for (const double v0 : {3.0, -2.0, 0.5, 0.05}) {
        LowLevelMotion stop(robot, "", Waypoint(std::vector<double>(6, 0.0), {v0, 0, 0, 0, 0, 0}), Waypoint(0));
        stop.control_interface = LowLevelMotion::ControlInterface::Velocity;
        const auto trajectory = planner.plan(stop);
        ASSERT_TRUE(trajectory.has_value());
        const double v = std::abs(v0);
        const double a = l.max_acceleration;
        const double j = l.max_jerk;
        const double shortest = v * j >= a * a ? v / a + a / j : 2 * std::sqrt(v / j);
        EXPECT_NEAR(trajectory->duration(), shortest, 1e-9) << "v0 " << v0;
        EXPECT_GT(trajectory->back().position[0] * v0, 0.0);
    }
}

TEST(Planner, ReachesATargetVelocityInVelocityControl) {
    const auto robot = robots::make("ur5e");
    const Planner planner(robot);
    const std::vector<double> target {1.0, -0.5, 0, 0, 0, 2.0};
    LowLevelMotion motion(robot, "", Waypoint(std::vector<double>(6, 0.0)),
                          Waypoint(std::vector<double>(6, 0.0), target));
    motion.control_interface = LowLevelMotion::ControlInterface::Velocity;
    const auto trajectory = planner.plan(motion);
    ASSERT_TRUE(trajectory.has_value());
    expect_within_limits(*trajectory, robot->get_joint_limits(), planner.delta_time);
    EXPECT_EQ(trajectory->back().velocity, target);
    motion.goal.velocity[0] = 4.0;
    EXPECT_FALSE(planner.plan(motion).has_value());
}

TEST(Planner, BlendsBetweenRandomMovingStatesWithinTheLimits) {
    const auto robot = robots::make("ur5e");
    const Planner planner(robot);
    std::mt19937 random(23);
    for (int trial = 0; trial < 100; ++trial) {
        const Waypoint from = random_moving_state(planner, robot, random);
        const Waypoint to = random_moving_state(planner, robot, random);
        const auto trajectory = planner.plan(LowLevelMotion(robot, "blend", from, to));
        ASSERT_TRUE(trajectory.has_value()) << "trial " << trial;
        expect_within_limits(*trajectory, robot->get_joint_limits(), planner.delta_time);
        expect_starts_at(*trajectory, from);
        expect_ends_at(*trajectory, to, 0.0);
        EXPECT_EQ(trajectory->motion, "blend");
    }
}

TEST(Planner, TurnsAroundFromAFastAcceleratingStart) {
    const auto robot = robots::make("ur5e");
    const Planner planner(robot);
    // Still accelerating at 4 rad/s² near top speed, while the goal lies behind.
    const Waypoint from({1, 0, 0, 0, 0, 0}, {2.9, 0, 0, 0, 0, 0}, {4.0, 0, 0, 0, 0, 0});
    const Waypoint to({-1, 0, 0, 0, 0, 0});
    const auto trajectory = planner.plan(Motion(robot, "", from, to));
    ASSERT_TRUE(trajectory.has_value());
    expect_within_limits(*trajectory, robot->get_joint_limits(), planner.delta_time);
    expect_starts_at(*trajectory, from);
    expect_ends_at(*trajectory, to, 0.0);
}

TEST(Planner, RefusesGoalsBeyondTheLimits) {
    const auto robot = robots::make("ur5e");
    const Planner planner(robot);
    const std::vector<double> start(6, 0.0);
    EXPECT_FALSE(planner.plan(Motion(robot, "", start, std::vector<double> {7.0, 0, 0, 0, 0, 0})).has_value());
    EXPECT_FALSE(planner.plan(LowLevelMotion(robot, "", Waypoint(start), Waypoint(start, {0, 0, 0, 0, 0, 3.5})))
                     .has_value());
    EXPECT_FALSE(
        planner.plan(LowLevelMotion(robot, "", Waypoint(start), Waypoint(start, {}, {0, 9.0, 0, 0, 0, 0})))
            .has_value());
}

TEST(Planner, RefusesPointsWithTheWrongNumberOfJoints) {
    const auto robot = robots::make("ur5e");
    const Planner planner(robot);
    const std::vector<double> six(6, 0.0);
    const std::vector<double> five(5, 0.0);
    expect_planner_error([&] { (void)planner.plan(Motion(robot, "", six, five)); }, "goal");
    expect_planner_error([&] { (void)planner.plan(Motion(robot, "", five, six)); }, "start");
    expect_planner_error([&] { (void)planner.plan(LowLevelMotion(robot, "", Waypoint(six), Waypoint(five))); },
                         "goal");
    expect_planner_error([&] { (void)planner.plan(LowLevelMotion(robot, "", Waypoint(), Waypoint(six))); }, "start");
    LowLevelMotion stop(robot, "", Waypoint(six, five), Waypoint(0));
    stop.control_interface = LowLevelMotion::ControlInterface::Velocity;
    expect_planner_error([&] { (void)planner.plan(stop); }, "velocity");
}

TEST(Planner, RefusesANonPositiveDeltaTime) {
    EXPECT_THROW(Planner(robots::make("ur5e"), 0.0), VelmorError);
}

}  // namespace
