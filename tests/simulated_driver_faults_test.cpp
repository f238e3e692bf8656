#include <velmor/drivers/simulated_driver.hpp>

#include <cmath>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include <velmor/motion/motion.hpp>
#include <velmor/motion/robots.hpp>
#include <velmor/motion/waypoint.hpp>

#include "support/simulated_robot.hpp"

namespace {

using velmor::drivers::ControllerStatus;
using velmor::drivers::Fault;
using velmor::drivers::Result;
using velmor::drivers::SafetyLimits;
using velmor::drivers::SimulatedDriver;
using velmor::drivers::Trigger;
using velmor::drivers::testing::SimulatedRobot;

using velmor::drivers::testing::goal;
using velmor::drivers::testing::zero;
// Far enough that a hold 0.4 s into the motion stands still before the end.
const std::vector<double> far {1.0, -0.8, 0.6, 0.4, -0.2, 1.2};
constexpr double cycle = 0.004;  // [s]
constexpr std::size_t enough_cycles = 100'000;

const std::vector<Fault> every_fault {Fault::ControllerError, Fault::EStop,          Fault::SafetyViolation,
                                      Fault::Alarm,           Fault::NotInAutoMode,  Fault::NotInRemoteMode,
                                      Fault::Hold,            Fault::MotorsDisabled, Fault::ProgramStopped,
                                      Fault::StopFailed,      Fault::ConnectionLost};

// A driven robot whose control loop advances only when stepped.
SimulatedRobot stepped_cell() {
    SimulatedRobot cell(0.0);
    cell.driver->set_stepping(true);
    return cell;
}

bool at_rest(const RobotState& state) {
    for (std::size_t j = 0; j < state.velocity.size(); ++j) {
        if (std::abs(state.velocity[j]) > 1e-9 || std::abs(state.acceleration[j]) > 1e-6) {
            return false;
        }
    }
    return true;
}

bool near(const std::vector<double>& a, const std::vector<double>& b, double tolerance = 1e-9) {
    return SimulatedDriver::are_positions_within(a, b, tolerance);
}

// Seconds that the planner's stop from `state` takes.
double stop_duration(const SimulatedRobot& cell, const RobotState& state) {
    velmor::LowLevelMotion stop(cell.robot, "", velmor::Waypoint(state.position, state.velocity, state.acceleration),
                                velmor::Waypoint(0));
    stop.control_interface = velmor::LowLevelMotion::ControlInterface::Velocity;
    const auto planned = cell.planner->plan(stop);
    EXPECT_TRUE(planned.has_value());
    return planned ? planned->duration() : 0.0;
}

class EveryFault : public ::testing::TestWithParam<std::tuple<Fault, bool>> {
protected:
    void TearDown() override { SimulatedDriver::connect_result = true; }
};

// From idle or in mid-motion: the fault's result, where the robot stands, the
// status, refusal until cleared and recovery afterwards.
TEST_P(EveryFault, StopsTheRobotRefusesMotionsAndRecoversOnceCleared) {
    const auto [fault, mid_motion] = GetParam();
    const Result expected = velmor::drivers::fault_result(fault);
    auto cell = stepped_cell();
    auto& driver = *cell.driver;

    if (mid_motion) {
        const auto motion = driver.run_async(cell.plan(zero, far));
        ASSERT_EQ(driver.step(100), 100U);
        const RobotState before = driver.get_current_state();
        driver.inject_fault(fault);
        const std::size_t cycles = driver.step(enough_cycles);
        EXPECT_EQ(motion.get(), expected);
        EXPECT_FALSE(driver.is_running());
        const RobotState after = driver.get_current_state();
        EXPECT_TRUE(at_rest(after));
        if (fault == Fault::EStop) {
            // The robot stands in the very cycle the fault strikes.
            EXPECT_EQ(cycles, 1U);
            EXPECT_TRUE(near(after.position, before.position, 3.2 * cycle));
        } else if (fault == Fault::Hold) {
            // The pause ramp of 0.7 s, and then the standstill on the path.
            EXPECT_NEAR(static_cast<double>(cycles) * cycle, 0.7, 3 * cycle);
            EXPECT_TRUE(driver.is_paused());
        } else {
            // The strike, the stop's samples, and the cycle that finds it finished.
            const double stop = stop_duration(cell, before);
            EXPECT_GT(stop, 0.1);
            EXPECT_NEAR(static_cast<double>(cycles) * cycle, stop, 3 * cycle);
        }
    } else {
        driver.inject_fault(fault);
        EXPECT_FALSE(driver.is_running());
    }

    EXPECT_EQ(driver.get_active_fault(), fault);
    EXPECT_EQ(driver.get_controller_status(),
              fault == Fault::ConnectionLost ? ControllerStatus::Failure : ControllerStatus::Alarm);
    EXPECT_EQ(driver.is_connected(), fault != Fault::ConnectionLost);
    const auto standing = driver.get_current_joint_position();
    EXPECT_EQ(driver.move_to(zero, false), expected);
    EXPECT_EQ(driver.stop(true), expected);
    EXPECT_EQ(driver.resume(), expected);
    EXPECT_EQ(driver.get_current_joint_position(), standing);
    EXPECT_FALSE(driver.is_running());

    if (fault == Fault::ConnectionLost) {
        EXPECT_TRUE(driver.reconnect());
    } else {
        driver.clear_fault();
    }
    EXPECT_FALSE(driver.get_active_fault().has_value());
    EXPECT_EQ(driver.get_controller_status(), ControllerStatus::Unknown);
    if (fault == Fault::Hold && mid_motion) {
        // The held motion goes on from where it stood to its goal.
        EXPECT_EQ(driver.resume(), Result::Success);
        EXPECT_TRUE(near(driver.get_current_joint_position(), far, 1e-6));
    } else {
        EXPECT_EQ(driver.move_to(goal, false), Result::Success);
        EXPECT_TRUE(near(driver.get_current_joint_position(), goal, 1e-6));
    }
}

INSTANTIATE_TEST_SUITE_P(InjectedFaults, EveryFault, ::testing::Combine(::testing::ValuesIn(every_fault), ::testing::Bool()),
                         [](const auto& info) {
                             return std::string(velmor::drivers::fault_name(std::get<0>(info.param))) +
                                    (std::get<1>(info.param) ? "MidMotion" : "Idle");
                         });

TEST(InjectedFaults, ATriggeredFaultStrikesInTheCycleItsTriggerHolds) {
    auto reference = stepped_cell();
    const auto trajectory = reference.plan(zero, goal);
    const auto unfaulted = reference.driver->run_async(trajectory);
    const auto held_after = reference.driver->step_until(Trigger::Time() > 0.5);
    ASSERT_TRUE(held_after.has_value());

    auto cell = stepped_cell();
    cell.driver->inject_fault(Fault::EStop, Trigger::Time() > 0.5);
    const auto motion = cell.driver->run_async(trajectory);
    EXPECT_EQ(cell.driver->step(enough_cycles), *held_after);
    EXPECT_EQ(motion.get(), Result::ErrorControllerEStopActive);
    EXPECT_EQ(cell.driver->get_current_joint_position(), reference.driver->get_current_joint_position());
    EXPECT_TRUE(at_rest(cell.driver->get_current_state()));
}

TEST(InjectedFaults, AnArmedFaultWaitsForALaterMotionUntilClearFaultDisarmsIt) {
    auto cell = stepped_cell();
    auto& driver = *cell.driver;
    const std::vector<double> near_by {0.02, 0.0, 0.0, 0.0, 0.0, 0.0};
    const auto short_motion = cell.plan(zero, near_by);
    ASSERT_LT(short_motion.duration(), 0.5);

    driver.inject_fault(Fault::Alarm, Trigger::Time() > 0.5);
    EXPECT_EQ(driver.run(short_motion), Result::Success);
    EXPECT_FALSE(driver.get_active_fault().has_value());
    EXPECT_EQ(driver.move_to(goal, false), Result::ErrorControllerAlarmActive);

    driver.clear_fault();
    driver.inject_fault(Fault::Alarm, Trigger::Time() > 0.5);
    driver.clear_fault();
    EXPECT_EQ(driver.move_to(near_by, false), Result::Success);
    EXPECT_EQ(driver.move_to(goal, false), Result::Success);
}

// A trajectory along joint 0, one sample per cycle, that keeps every limit up to
// sample 60 and breaks the position or the velocity limit, or leaves the workspace,
// from sample 61 on.
struct Breach {
    std::string name;
    SafetyLimits limits;
    std::vector<double> start;
    velmor::Trajectory trajectory;
};

Breach breach_of(const std::string& limit) {
    const double max_position = 2.0 * M_PI;
    const double max_velocity = M_PI;
    const bool position = limit != "Velocity";
    std::vector<double> times;
    std::vector<std::vector<double>> positions;
    std::vector<std::vector<double>> velocities;
    std::vector<std::vector<double>> accelerations;
    for (std::size_t i = 0; i <= 80; ++i) {
        std::vector<double> p(6, 0.0);
        std::vector<double> v(6, 0.0);
        if (position) {
            p[0] = max_position - 0.06 + 0.001 * static_cast<double>(i);
        } else {
            v[0] = i > 60 ? 1.5 * max_velocity : 0.5 * max_velocity;
        }
        times.push_back(cycle * static_cast<double>(i));
        positions.push_back(p);
        velocities.push_back(v);
        accelerations.emplace_back(6, 0.0);
    }
    SafetyLimits limits;
    limits.joint_position = limit == "Position";
    limits.joint_velocity = limit == "Velocity";
    if (limit == "Workspace") {
        // A large box whose face lies halfway between the tool's points of samples 60 and 61,
        // across the way the tool goes: the turning base moves it along a short arc.
        const velmor::robots::UR5e arm;
        const Eigen::Vector3d before = arm.calculate_tcp(positions[60]).translation();
        const Eigen::Vector3d after = arm.calculate_tcp(positions[61]).translation();
        const Eigen::Vector3d along = (after - before).normalized();
        const double size = 10.0;  // [m]
        Eigen::Isometry3d pose = Eigen::Isometry3d::Identity();
        pose.linear() = Eigen::Quaterniond::FromTwoVectors(Eigen::Vector3d::UnitX(), along).toRotationMatrix();
        pose.translation() = 0.5 * (before + after) - 0.5 * size * along;
        limits.workspace = velmor::Box({size, size, size}, velmor::Frame(pose));
    }
    return Breach {limit, limits, positions.front(), velmor::Trajectory(times, positions, velocities, accelerations)};
}

class SafetyLimitsBreach : public ::testing::TestWithParam<std::string> {};

TEST_P(SafetyLimitsBreach, EndsTheMotionInTheCycleThatBreaksThem) {
    const Breach breach = breach_of(GetParam());
    auto cell = stepped_cell();
    auto& driver = *cell.driver;

    // Unwatched, as by default, the trajectory plays to its end.
    driver.set_current_joint_position(breach.start);
    EXPECT_EQ(driver.run(breach.trajectory), Result::Success);

    driver.set_current_joint_position(breach.start);
    driver.set_safety_limits(breach.limits);
    const auto motion = driver.run_async(breach.trajectory);
    std::size_t cycles {0};
    while (!driver.get_active_fault() && driver.step(1) == 1) {
        ++cycles;
    }
    EXPECT_EQ(cycles, 62U);
    EXPECT_EQ(driver.get_active_fault(), Fault::SafetyViolation);
    driver.step(enough_cycles);
    EXPECT_EQ(motion.get(), Result::ErrorControllerSafetyViolation);
    EXPECT_TRUE(at_rest(driver.get_current_state()));
}

INSTANTIATE_TEST_SUITE_P(SafetyLimits, SafetyLimitsBreach, ::testing::Values("Position", "Velocity", "Workspace"));

TEST(SafetyLimits, RefuseAMotionThatStartsBeyondThemAndNothingMoves) {
    auto cell = stepped_cell();
    auto& driver = *cell.driver;
    std::vector<double> beyond = zero;
    beyond[1] = 2.0 * M_PI + 0.05;
    driver.set_current_joint_position(beyond);
    driver.set_safety_limits(SafetyLimits {true, false, std::nullopt});
    EXPECT_EQ(driver.move_to(goal, false), Result::ErrorControllerSafetyViolation);
    EXPECT_FALSE(driver.is_running());
    EXPECT_EQ(driver.step(10), 0U);
    EXPECT_EQ(driver.get_current_joint_position(), beyond);
    EXPECT_FALSE(driver.get_active_fault().has_value());
}

// The samples `from` to `to` of `trajectory` (backwards when `to` < `from`), one per cycle.
velmor::Trajectory samples(const velmor::Trajectory& trajectory, std::size_t from, std::size_t to) {
    std::vector<double> times;
    std::vector<std::vector<double>> positions;
    std::vector<std::vector<double>> rest;
    for (std::size_t i = from;; i = to < from ? i - 1 : i + 1) {
        times.push_back(cycle * static_cast<double>(times.size()));
        positions.push_back(trajectory.positions()[i]);
        rest.emplace_back(6, 0.0);
        if (i == to) {
            break;
        }
    }
    return velmor::Trajectory(times, positions, rest, rest);
}

class SafetyRecovery : public ::testing::TestWithParam<std::string> {};

// The breach leaves the robot beyond the limit; once the fault is cleared it may
// come back, but not go farther.
TEST_P(SafetyRecovery, LetsOnlyMotionsBackWithinTheLimitsGoOnceTheFaultIsCleared) {
    const Breach breach = breach_of(GetParam());
    auto cell = stepped_cell();
    auto& driver = *cell.driver;
    driver.set_current_joint_position(breach.start);
    driver.set_safety_limits(breach.limits);
    EXPECT_EQ(driver.run(breach.trajectory), Result::ErrorControllerSafetyViolation);
    driver.clear_fault();
    const std::vector<double> stopped = driver.get_current_joint_position();
    EXPECT_EQ(driver.run(samples(breach.trajectory, 61, 80)), Result::ErrorControllerSafetyViolation);
    EXPECT_EQ(driver.get_current_joint_position(), stopped);
    EXPECT_EQ(driver.run(samples(breach.trajectory, 61, 0)), Result::Success);
    EXPECT_TRUE(near(driver.get_current_joint_position(), breach.start));
    // Back within the limits, they hold as before.
    EXPECT_EQ(driver.run(breach.trajectory), Result::ErrorControllerSafetyViolation);
    EXPECT_EQ(driver.get_active_fault(), Fault::SafetyViolation);
}

INSTANTIATE_TEST_SUITE_P(SafetyLimits, SafetyRecovery, ::testing::Values("Position", "Workspace"));

}  // namespace
