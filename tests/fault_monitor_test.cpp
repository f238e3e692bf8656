#include "drivers/faults/fault_monitor.hpp"

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <velmor/motion/robots.hpp>

namespace velmor::drivers {
namespace {

// A monitor of a six-joint arm, checked with the state this fixture holds.
class FaultMonitorTest : public ::testing::Test {
public:
    std::shared_ptr<velmor::robots::UR5e> arm = std::make_shared<velmor::robots::UR5e>();
    std::shared_ptr<velmor::Robot> robot = arm;
    std::vector<velmor::JointLimits> limits = robot->get_joint_limits();
    FaultMonitor monitor {robot, limits};
    std::vector<double> position = std::vector<double>(6, 0.0);
    std::vector<double> velocity = std::vector<double>(6, 0.0);
    velmor::Trajectory trajectory;
    double time {0.0};

    std::optional<Fault> check() {
        return monitor.check(CycleView {robot, time, position, velocity, trajectory});
    }
};

// Holds once the trajectory time reaches `at` [s].
Trigger after(double at) {
    return Trigger([at](const auto&, double time, const auto&, const auto&) { return time >= at; });
}

class EveryFault : public FaultMonitorTest, public ::testing::WithParamInterface<Fault> {};

TEST_P(EveryFault, InjectedDuringAMotionStrikesOnceAndRefusesUntilCleared) {
    const Fault fault = GetParam();
    monitor.inject(fault, true);
    EXPECT_EQ(monitor.active(), fault);
    EXPECT_EQ(monitor.refusal(), fault_result(fault));
    EXPECT_EQ(check(), fault);
    EXPECT_EQ(check(), std::nullopt);
    static_cast<void>(monitor.clear());
    EXPECT_EQ(monitor.active(), std::nullopt);
    EXPECT_EQ(monitor.refusal(), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(FaultMonitor, EveryFault,
                         ::testing::Values(Fault::ControllerError, Fault::EStop, Fault::SafetyViolation, Fault::Alarm,
                                           Fault::NotInAutoMode, Fault::NotInRemoteMode, Fault::Hold,
                                           Fault::MotorsDisabled, Fault::ProgramStopped, Fault::StopFailed,
                                           Fault::ConnectionLost));

TEST_F(FaultMonitorTest, IdleInjectionAndClearedStrikesNeverStrike) {
    EXPECT_FALSE(monitor.has_work());
    monitor.inject(Fault::Alarm, false);
    EXPECT_FALSE(monitor.has_work());
    monitor.inject(Fault::EStop, true);
    static_cast<void>(monitor.clear());
    EXPECT_EQ(check(), std::nullopt);
    monitor.inject(Fault::Hold, true);
    monitor.drop_pending_strike();
    EXPECT_EQ(check(), std::nullopt);
    EXPECT_EQ(monitor.active(), Fault::Hold);
}

TEST_F(FaultMonitorTest, ArmedFaultsFireInArmingOrderOnlyWhileNoFaultIsActive) {
    monitor.arm(Fault::Alarm, after(0.5));
    monitor.arm(Fault::EStop, after(0.2));
    monitor.arm(Fault::Hold, after(0.2));
    EXPECT_EQ(check(), std::nullopt);
    time = 0.3;
    EXPECT_EQ(check(), Fault::EStop);
    // The monitor only decides; the caller makes the strike's fault active.
    monitor.inject(Fault::EStop, false);
    time = 1.0;
    EXPECT_EQ(check(), std::nullopt);
    static_cast<void>(monitor.clear());
    monitor.arm(Fault::NotInAutoMode, after(0.0));
    // The clear disarmed those armed before it, whether the cycles had taken them over or not.
    EXPECT_EQ(check(), Fault::NotInAutoMode);
    EXPECT_EQ(check(), std::nullopt);
    EXPECT_FALSE(monitor.has_work());
}

TEST_F(FaultMonitorTest, ThrowingTriggerIsDisarmedAndItsErrorPassedOn) {
    monitor.arm(Fault::Alarm, Trigger([](const auto&, double, const auto&, const auto&) -> bool {
                    throw std::runtime_error("broken trigger");
                }));
    monitor.arm(Fault::Hold, after(0.0));
    EXPECT_THROW(check(), std::runtime_error);
    EXPECT_EQ(check(), Fault::Hold);
}

TEST_F(FaultMonitorTest, MendingAConnectionEndsOnlyALostOne) {
    monitor.inject(Fault::ConnectionLost, true);
    monitor.mend_connection();
    EXPECT_EQ(monitor.active(), std::nullopt);
    EXPECT_EQ(check(), std::nullopt);
    monitor.inject(Fault::Alarm, true);
    monitor.mend_connection();
    EXPECT_EQ(monitor.active(), Fault::Alarm);
    EXPECT_EQ(check(), Fault::Alarm);
}

struct Breach {
    std::string name;
    // A limit that the fixture's state keeps.
    SafetyLimits (*watch)(const FaultMonitorTest& test);
    // Breaks it.
    void (*apply)(FaultMonitorTest& test);
};

class BrokenLimit : public FaultMonitorTest, public ::testing::WithParamInterface<Breach> {};

TEST_P(BrokenLimit, StrikesWithSafetyViolationAndRefusesToStartThere) {
    const Breach& breach = GetParam();
    monitor.set_safety_limits(breach.watch(*this));
    EXPECT_TRUE(monitor.watching_safety());
    EXPECT_TRUE(monitor.has_work());
    EXPECT_EQ(check(), std::nullopt);
    EXPECT_EQ(monitor.start_refusal(position, velocity), std::nullopt);
    breach.apply(*this);
    EXPECT_EQ(monitor.start_refusal(position, velocity), Result::ErrorControllerSafetyViolation);
    EXPECT_EQ(check(), Fault::SafetyViolation);
    // An active fault already stopped the motion: no second strike.
    monitor.inject(Fault::SafetyViolation, false);
    EXPECT_EQ(check(), std::nullopt);
    monitor.set_safety_limits({});
    EXPECT_FALSE(monitor.watching_safety());
    EXPECT_EQ(monitor.safety_violation(position, velocity), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(
    FaultMonitor, BrokenLimit,
    ::testing::Values(
        Breach {"JointPosition", [](const FaultMonitorTest&) { return SafetyLimits {true, false, std::nullopt}; },
                [](FaultMonitorTest& test) { test.position[2] = test.limits[2].max_position + 0.01; }},
        Breach {"JointVelocity", [](const FaultMonitorTest&) { return SafetyLimits {false, true, std::nullopt}; },
                [](FaultMonitorTest& test) { test.velocity[4] = -1.01 * test.limits[4].max_velocity; }},
        Breach {"Workspace",
                [](const FaultMonitorTest& test) {
                    // A 10 cm box around the tool centre point.
                    const Eigen::Vector3d tcp = test.arm->calculate_tcp(test.position).translation();
                    return SafetyLimits {false, false,
                                         velmor::Box({0.1, 0.1, 0.1}, velmor::Frame::from_translation(tcp.x(), tcp.y(), tcp.z()))};
                },
                [](FaultMonitorTest& test) { test.position[1] = 0.5; }}),
    [](const auto& info) { return info.param.name; });

// A joint whose position takes the robot beyond a watched limit: far, farther, closer, within.
struct Way {
    std::string name;
    SafetyLimits (*watch)(const FaultMonitorTest& test);
    std::size_t joint;
    std::array<double, 4> (*positions)(const FaultMonitorTest& test);
};

class WayBack : public FaultMonitorTest, public ::testing::WithParamInterface<Way> {
public:
    // A trajectory of the fixture's position with the joint at each of `values`.
    velmor::Trajectory along(const std::vector<double>& values) const {
        std::vector<double> times;
        std::vector<std::vector<double>> positions;
        for (const double value : values) {
            times.push_back(0.004 * static_cast<double>(times.size()));
            positions.push_back(position);
            positions.back()[GetParam().joint] = value;
        }
        const std::vector<std::vector<double>> rest(values.size(), std::vector<double>(6, 0.0));
        return velmor::Trajectory(times, positions, rest, rest);
    }
};

TEST_P(WayBack, AfterAClearedSafetyViolationOnlyMotionsBackWithinTheLimitsGo) {
    const auto [far, farther, closer, within] = GetParam().positions(*this);
    double& joint = position[GetParam().joint];
    monitor.set_safety_limits(GetParam().watch(*this));
    joint = far;
    EXPECT_EQ(check(), Fault::SafetyViolation);
    monitor.inject(Fault::SafetyViolation, false);
    static_cast<void>(monitor.clear());
    EXPECT_TRUE(monitor.recovering());
    const auto as_is = [](velmor::State&) {};
    EXPECT_EQ(monitor.start_refusal(along({far, closer, farther}), as_is), Result::ErrorControllerSafetyViolation);
    EXPECT_EQ(monitor.start_refusal(along({far, closer, within}), as_is), std::nullopt);
    // The cycles follow the motion: farther strikes, closer goes on, within ends the recovery.
    joint = closer;
    EXPECT_EQ(check(), std::nullopt);
    joint = farther;
    EXPECT_EQ(check(), Fault::SafetyViolation);
    EXPECT_TRUE(monitor.recovering());
    joint = within;
    EXPECT_EQ(check(), std::nullopt);
    EXPECT_FALSE(monitor.recovering());
    joint = closer;
    EXPECT_EQ(check(), Fault::SafetyViolation);
}

INSTANTIATE_TEST_SUITE_P(
    FaultMonitor, WayBack,
    ::testing::Values(
        Way {"JointPosition", [](const FaultMonitorTest&) { return SafetyLimits {true, false, std::nullopt}; }, 2,
             [](const FaultMonitorTest& test) {
                 const double max = test.limits[2].max_position;
                 return std::array<double, 4> {max + 0.02, max + 0.03, max + 0.01, max - 0.01};
             }},
        Way {"Workspace",
             [](const FaultMonitorTest& test) {
                 const Eigen::Vector3d tcp = test.arm->calculate_tcp(test.position).translation();
                 return SafetyLimits {false, false,
                                      velmor::Box({0.1, 0.1, 0.1}, velmor::Frame::from_translation(tcp.x(), tcp.y(), tcp.z()))};
             },
             1, [](const FaultMonitorTest&) { return std::array<double, 4> {0.2, 0.3, 0.1, 0.0}; }}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace velmor::drivers
