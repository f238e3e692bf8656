#include <velmor/drivers/simulated_driver.hpp>

#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <mutex>
#include <thread>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include <velmor/velmor_error.hpp>

#include "support/simulated_robot.hpp"

namespace {

using velmor::drivers::Action;
using velmor::drivers::Pacing;
using velmor::drivers::Result;
using velmor::drivers::Trigger;
using velmor::drivers::testing::SimulatedRobot;
using namespace std::chrono_literals;

using velmor::drivers::testing::goal;
using velmor::drivers::testing::zero;

// The position of every cycle of one motion, seen by a trigger that never holds.
class CyclePositions {
public:
    explicit CyclePositions(SimulatedRobot& cell) {
        cell.driver->add_event(Trigger([this](const auto&, double, const std::vector<double>& position, const auto&) {
                                   const std::lock_guard lock(mutex);
                                   positions.push_back(position);
                                   return false;
                               }),
                               Action([](double) {}));
    }

    std::vector<std::vector<double>> taken() {
        const std::lock_guard lock(mutex);
        return positions;
    }

private:
    std::mutex mutex;
    std::vector<std::vector<double>> positions;
};

// The positions of a motion to `goal` at half speed with a pause and a resume,
// driven by `drive` once the motion was handed over.
std::vector<std::vector<double>> positions_of(bool stepping, const std::function<void(SimulatedRobot&)>& drive) {
    SimulatedRobot cell(0.0);
    cell.driver->set_stepping(stepping);
    cell.driver->set_speed(0.5);
    CyclePositions cycles(cell);
    cell.driver->add_event(Trigger::Time() > 0.4, Action([&cell](double) { cell.driver->pause_async(); }));
    drive(cell);
    EXPECT_TRUE(velmor::drivers::Driver::are_positions_within(cell.driver->get_current_joint_position(), goal, 1e-9));
    return cycles.taken();
}

TEST(Stepping, GivesBitIdenticalPositionsOnEveryRunAndAtTimeSpeedZero) {
    const auto synchronous = [](SimulatedRobot& cell) {
        EXPECT_EQ(cell.driver->move_to(goal, false), Result::ErrorTrajectoryAborted);
        EXPECT_EQ(cell.driver->resume(), Result::Success);
    };
    const auto stepped = [](SimulatedRobot& cell) {
        const auto motion = cell.driver->move_to_async(goal, false);
        while (cell.driver->step(7) > 0) {
        }
        EXPECT_EQ(motion.get(), Result::ErrorTrajectoryAborted);
        const auto resumed = cell.driver->resume_async();
        while (cell.driver->step(3) > 0) {
        }
        EXPECT_EQ(resumed.get(), Result::Success);
    };
    const auto first = positions_of(true, synchronous);
    ASSERT_GT(first.size(), 300U);
    EXPECT_EQ(positions_of(true, synchronous), first);
    EXPECT_EQ(positions_of(true, stepped), first);
    EXPECT_EQ(positions_of(false, synchronous), first);
}

TEST(Stepping, StepRunsNothingOnAnIdleDriverAndIsRefusedOutsideSteppingAndInsideActions) {
    SimulatedRobot cell(0.0);
    auto& driver = *cell.driver;
    EXPECT_THROW(driver.step(1), velmor::VelmorError);
    driver.set_stepping(true);
    EXPECT_EQ(driver.step(5), 0U);
    EXPECT_FALSE(driver.step_until(Trigger::Time() > 0.0, 5).has_value());

    std::atomic<bool> refused {false};
    driver.add_event(Trigger::Time() > 0.1, Action([&](double) {
                         try {
                             driver.step(1);
                         } catch (const velmor::VelmorError&) {
                             refused = true;
                         }
                     }));
    const auto motion = driver.move_to_async(goal, false);
    EXPECT_FALSE(driver.step_until(Trigger::Time() > 100.0, 10).has_value());
    const auto held = driver.step_until(Trigger::JointPosition(0) > 0.25);
    ASSERT_TRUE(held.has_value());
    EXPECT_GT(driver.get_current_joint_position()[0], 0.25);
    EXPECT_TRUE(refused);
    EXPECT_EQ(driver.step(0), 0U);
    EXPECT_TRUE(driver.is_running());
    EXPECT_EQ(motion.wait_for(0s), std::future_status::timeout);
}

TEST(Stepping, SwitchingTakesTheMotionFromTheLoopThreadAndGivesItBack) {
    SimulatedRobot cell(1.0);
    auto& driver = *cell.driver;
    const auto motion = driver.move_to_async(goal, false);
    driver.set_stepping(true);
    EXPECT_EQ(driver.active_loops.load(), 0);
    EXPECT_TRUE(driver.is_running());
    const auto standing = driver.get_current_joint_position();
    EXPECT_EQ(driver.step(10), 10U);
    EXPECT_NE(driver.get_current_joint_position(), standing);

    driver.time_speed = 0.0;
    driver.set_stepping(false);
    ASSERT_EQ(motion.wait_for(30s), std::future_status::ready);
    EXPECT_EQ(motion.get(), Result::Success);
    EXPECT_TRUE(velmor::drivers::Driver::are_positions_within(driver.get_current_joint_position(), goal, 1e-9));
    EXPECT_EQ(driver.most_active_loops.load(), 1);
}

TEST(Stepping, SeveralThreadsSteppingAtOnceTakeTurns) {
    SimulatedRobot reference(0.0);
    reference.driver->set_stepping(true);
    const auto motion_of_reference = reference.driver->move_to_async(goal, false);
    const std::size_t cycles = reference.driver->step(1'000'000);

    SimulatedRobot cell(0.0);
    auto& driver = *cell.driver;
    driver.set_stepping(true);
    const auto motion = driver.move_to_async(goal, false);
    std::atomic<std::size_t> total {0};
    std::vector<std::thread> steppers;
    for (int i = 0; i < 4; ++i) {
        steppers.emplace_back([&driver, &total] {
            while (driver.is_running()) {
                total += driver.step(1);
            }
        });
    }
    for (auto& stepper : steppers) {
        stepper.join();
    }
    EXPECT_EQ(motion.get(), Result::Success);
    EXPECT_EQ(total.load(), cycles);
    EXPECT_EQ(driver.get_current_joint_position(), reference.driver->get_current_joint_position());
    EXPECT_EQ(driver.most_active_loops.load(), 1);
}

// What lets a motion go on that nothing plays: in stepping mode a wait steps it;
// otherwise a time speed of 1e-13 holds each cycle for 4e10 s until changed back,
// until disconnect() or until the switch to stepping.
enum class GoOn { WaitSteps, SpeedBack, Disconnect, SwitchToStepping };

class FutureWait : public ::testing::TestWithParam<std::tuple<GoOn, Pacing>> {};

TEST_P(FutureWait, TimesOutWhileNothingPlaysAndEndsOnceSomethingDoes) {
    const auto [go_on, pacing] = GetParam();
    SimulatedRobot cell(go_on == GoOn::WaitSteps ? 0.0 : 1e-13);
    auto& driver = *cell.driver;
    driver.pacing = pacing;
    driver.set_stepping(go_on == GoOn::WaitSteps);
    const auto motion = driver.move_to_async(goal, false);
    EXPECT_FALSE(driver.wait(motion, go_on == GoOn::WaitSteps ? 0.0 : 0.05));
    EXPECT_THROW((void)driver.get(motion, -1.0), velmor::VelmorError);
    EXPECT_THROW((void)driver.wait(motion, std::nan("")), velmor::VelmorError);
    if (go_on == GoOn::SpeedBack) {
        driver.time_speed = 1.0;
    } else if (go_on == GoOn::Disconnect) {
        EXPECT_TRUE(driver.disconnect());
    } else if (go_on == GoOn::SwitchToStepping) {
        driver.set_stepping(true);
    }
    EXPECT_EQ(driver.get(motion, 60.0), Result::Success);
    EXPECT_TRUE(velmor::drivers::Driver::are_positions_within(driver.get_current_joint_position(), goal, 1e-9));
}

INSTANTIATE_TEST_SUITE_P(Ways, FutureWait,
                         ::testing::Combine(::testing::Values(GoOn::WaitSteps, GoOn::SpeedBack, GoOn::Disconnect,
                                                              GoOn::SwitchToStepping),
                                            ::testing::Values(Pacing::PauseAfterWork, Pacing::FixedRate)));

}  // namespace
