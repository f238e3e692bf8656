#include <velmor/motion/planner.hpp>

#include <cmath>
#include <random>

#include <gtest/gtest.h>

#include <velmor/motion/robots.hpp>

#include "motion/profile_bound.hpp"
#include "motion/trajectory_checks.hpp"

namespace {

using namespace velmor;
using velmor::testing::expect_ends_at;
using velmor::testing::expect_starts_at;
using velmor::testing::expect_within_limits;

//! A six-joint arm whose joints have different limits.
std::shared_ptr<Robot> varied_arm() {
    return std::make_shared<RobotArm>("varied", robots::UR5e().get_dh_parameters(), velmor::testing::varied_limits());
}

//! Plans the motion at the planner's sample interval and at one 16 times finer, which shows the
//! motion between the coarse samples, and checks both: within the limits, from `from` and
//! exactly to `to`, equally long.
std::optional<Trajectory> plan_checked(const std::shared_ptr<Robot>& robot, const Waypoint& from, const Waypoint& to) {
    const Planner planner(robot);
    const Planner fine(robot, planner.delta_time / 16);
    const auto trajectory = planner.plan(LowLevelMotion(robot, "", from, to));
    const auto detailed = fine.plan(LowLevelMotion(robot, "", from, to));
    EXPECT_TRUE(trajectory && detailed);
    if (!trajectory || !detailed) {
        return std::nullopt;
    }
    EXPECT_EQ(trajectory->duration(), detailed->duration());
    for (const Planner* p : {&planner, &fine}) {
        const Trajectory& t = p == &planner ? *trajectory : *detailed;
        expect_within_limits(t, robot->get_joint_limits(), p->delta_time);
        expect_starts_at(t, from);
        expect_ends_at(t, to, 0.0);
    }
    return trajectory;
}

TEST(StateToStateProfile, MovesBetweenRandomStatesWithinTheLimitsAndEndsOnTarget) {
    const auto robot = varied_arm();
    std::mt19937 random(5);
    for (int pair = 0; pair < 60; ++pair) {
        const auto [from, to] = velmor::testing::random_state_pair(random, velmor::testing::varied_limits());
        SCOPED_TRACE("pair " + std::to_string(pair));
        plan_checked(robot, from, to);
        if (::testing::Test::HasFailure()) {
            return;
        }
    }
}

TEST(StateToStateProfile, TakesWithinOnePercentOfTheShortestCommonDuration) {
    // The bound comes from a linear program over the jerks of every joint, independent of the
    // planner (see profile_bound.hpp): no duration shorter by more than 1 % works for all joints,
    // while the program finds motions for them all a little above the planned duration.
    const auto limits = velmor::testing::varied_limits();
    const auto robot = varied_arm();
    const Planner planner(robot);
    std::mt19937 random(9);
    for (int pair = 0; pair < 16; ++pair) {
        const auto [from, to] = velmor::testing::random_state_pair(random, limits);
        const double planned = planner.plan(LowLevelMotion(robot, "", from, to))->duration();
        EXPECT_EQ(velmor::testing::first_common_duration(from, to, limits, 0.5 * planned, 0.9 * planned, 1.02), 0.0)
            << "pair " << pair;
        EXPECT_EQ(velmor::testing::first_common_duration(from, to, limits, 0.9 * planned, planned / 1.01, 1.003), 0.0)
            << "pair " << pair;
        EXPECT_GT(velmor::testing::first_common_duration(from, to, limits, planned / 1.01, 1.03 * planned, 1.003), 0.0)
            << "pair " << pair;
    }
}

struct BeyondTheLimits {
    const char* name;
    double velocity;
    double acceleration;
    //! When the joint is back inside the limits, worked out by hand [s].
    double inside_after;
};

std::ostream& operator<<(std::ostream& out, const BeyondTheLimits& start) {
    return out << start.name;
}

class StartBeyondTheLimits : public ::testing::TestWithParam<BeyondTheLimits> {};

TEST_P(StartBeyondTheLimits, ComesBackInsideAsFastAsTheLimitsAllow) {
    // UR5e limits: π rad/s, 8 rad/s², 50 rad/s³.
    const auto robot = robots::make("ur5e");
    const JointLimits l = robot->get_joint_limits().front();
    const Planner planner(robot);
    const Waypoint from({0, 0, 0, 0, 0, 0}, {GetParam().velocity, 0, 0, 0, 0, 0},
                        {GetParam().acceleration, 0, 0, 0, 0, 0});
    const Waypoint to({1.0, 0, 0, 0, 0, 0});
    const auto trajectory = planner.plan(LowLevelMotion(robot, "", from, to));
    ASSERT_TRUE(trajectory.has_value());
    expect_starts_at(*trajectory, from);
    expect_ends_at(*trajectory, to, 0.0);
    // Inside: within the limits, and able to take the acceleration back without crossing them.
    const auto inside = [&](std::size_t k) {
        const double v = trajectory->velocities()[k][0];
        const double a = trajectory->accelerations()[k][0];
        return std::abs(a) <= l.max_acceleration * (1 + 1e-9) && std::abs(v) <= l.max_velocity * (1 + 1e-9) &&
               std::abs(v + a * std::abs(a) / (2 * l.max_jerk)) <= l.max_velocity * (1 + 1e-9);
    };
    std::size_t k = 0;
    while (k < trajectory->size() && !inside(k)) {
        ++k;
    }
    ASSERT_LT(k, trajectory->size());
    EXPECT_GE(trajectory->times()[k], GetParam().inside_after - 1e-9);
    EXPECT_LE(trajectory->times()[k], GetParam().inside_after + planner.delta_time);
    expect_within_limits(trajectory->slice(k, trajectory->size()), robot->get_joint_limits(), planner.delta_time);
}

INSTANTIATE_TEST_SUITE_P(
    Starts, StartBeyondTheLimits,
    ::testing::Values(
        // Full negative jerk to -8 rad/s² (0.16 s, losing 0.64 rad/s), then 0.36 rad/s at -8 rad/s².
        BeyondTheLimits {"TooFast", M_PI + 1.0, 0.0, 0.16 + 0.36 / 8.0},
        // Full negative jerk from 10 to 8 rad/s².
        BeyondTheLimits {"AcceleratingTooHard", 0.0, 10.0, 0.04},
        // Still gaining 0.64 rad/s at 8 rad/s² just below the velocity limit: full negative jerk
        // until the velocity falls back to the limit, -0.01 + 8·t - 25·t² = 0.
        BeyondTheLimits {"BoundToCrossTheVelocityLimit", M_PI - 0.01, 8.0, (8.0 + std::sqrt(63.0)) / 50.0}),
    [](const auto& info) { return info.param.name; });

TEST(StateToStateProfile, StopsFromBeyondTheLimitsAtFullJerk) {
    const auto robot = robots::make("ur5e");
    const Planner planner(robot);
    LowLevelMotion stop(robot, "", Waypoint(std::vector<double>(6, 0.0), {4.0, 0, 0, 0, 0, 0}, {10.0, 0, 0, 0, 0, 0}),
                        Waypoint(0));
    stop.control_interface = LowLevelMotion::ControlInterface::Velocity;
    const auto trajectory = planner.plan(stop);
    ASSERT_TRUE(trajectory.has_value());
    EXPECT_EQ(trajectory->back().velocity, std::vector<double>(6, 0.0));
    // From 10 rad/s² the jerk stays at -50 rad/s³ until -8 rad/s² (0.36 s, gaining 0.36 rad/s);
    // the last ramp back to zero (0.16 s) loses 0.64 rad/s, the hold at -8 rad/s² the rest.
    EXPECT_NEAR(trajectory->duration(), 0.36 + (4.36 - 0.64) / 8.0 + 0.16, 1e-9);
    // Once the acceleration is back at its limit (0.04 s), only the velocity is beyond its own,
    // up to 4 + 10²/(2·50) rad/s when the acceleration passes zero.
    std::vector<JointLimits> limits = robot->get_joint_limits();
    limits.front().max_velocity = 5.0;
    expect_within_limits(trajectory->slice(11, trajectory->size()), limits, planner.delta_time);
}

}  // namespace
