#include <velmor/drivers/simulated_driver.hpp>

#include <chrono>
#include <csignal>
#include <regex>
#include <stdexcept>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include <velmor/velmor_error.hpp>

#include "support/simulated_robot.hpp"

namespace {

using velmor::drivers::Result;
using velmor::drivers::SimulatedDriver;
using velmor::drivers::testing::SimulatedRobot;
using namespace std::chrono_literals;

using velmor::drivers::testing::goal;
using velmor::drivers::testing::zero;

bool is_ready(const std::shared_future<Result>& future) {
    return future.wait_for(0s) == std::future_status::ready;
}

// Restores the class-wide connection switch whatever a test does with it.
class ConnectResult : public ::testing::Test {
protected:
    void TearDown() override { SimulatedDriver::connect_result = true; }
};

TEST_F(ConnectResult, ConstructionFailsWithoutConnection) {
    SimulatedDriver::connect_result = false;
    try {
        SimulatedRobot cell(0.0);
        FAIL() << "constructed without connection";
    } catch (const velmor::VelmorError& error) {
        EXPECT_EQ(error.module, "driver");
        EXPECT_EQ(error.message, "Could not connect to the simulated robot (e.g. Mirava).");
    }
}

TEST_F(ConnectResult, ConnectionStateFollowsTheSwitchAndDisconnect) {
    SimulatedRobot cell(0.0);
    auto& driver = *cell.driver;
    EXPECT_TRUE(driver.is_connected());
    EXPECT_EQ(driver.get_current_joint_position(), zero);
    EXPECT_EQ(driver.enable(), Result::Success);
    EXPECT_EQ(driver.time_speed, 0.0);
    EXPECT_EQ(driver.get_controller_status(), velmor::drivers::ControllerStatus::Unknown);
    EXPECT_FALSE(driver.get_analog_input("x").has_value());
    EXPECT_FALSE(driver.set_analog_output("x", 1.0));

    driver.set_enable_result(Result::ErrorControllerEStopActive);
    EXPECT_EQ(driver.enable().description, Result::ErrorControllerEStopActive.description);
    EXPECT_EQ(driver.disable(), Result::ErrorControllerEStopActive);

    EXPECT_TRUE(driver.disconnect());
    EXPECT_TRUE(driver.disconnect());
    EXPECT_FALSE(driver.is_connected());
    EXPECT_EQ(driver.enable(), Result::ErrorControllerConnection);
    EXPECT_EQ(driver.run_async(cell.plan(zero, goal)).get(), Result::ErrorControllerConnection);
    EXPECT_TRUE(driver.reconnect());

    SimulatedDriver::connect_result = false;
    EXPECT_EQ(driver.enable(), Result::ErrorControllerConnection);
    EXPECT_FALSE(driver.reconnect());
    EXPECT_FALSE(driver.is_connected());
}

TEST(SimulatedDriver, RunsATrajectoryToItsEnd) {
    SimulatedRobot cell(0.0);
    const auto trajectory = cell.plan(zero, goal);
    const auto future = cell.driver->run_async(trajectory);
    EXPECT_EQ(future.get(), Result::Success);
    EXPECT_FALSE(cell.driver->is_running());
    const auto position = cell.driver->get_current_joint_position();
    ASSERT_EQ(position.size(), 6U);
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_DOUBLE_EQ(position[i], goal[i]);
    }
    const auto state = cell.driver->get_current_state();
    for (double velocity : state.velocity) {
        EXPECT_NEAR(velocity, 0.0, 1e-9);
    }
}

TEST(SimulatedDriver, OptionsChooseTheRobotAndDefaultToTheEnvironmentsOne) {
    const auto left = std::make_shared<velmor::robots::UR5e>();
    const auto right = std::make_shared<velmor::robots::UR5e>();
    const auto planner = std::make_shared<velmor::Planner>(std::make_shared<velmor::robots::DualArm>(left, right));
    SimulatedDriver both(planner);
    EXPECT_EQ(both.get_current_joint_position().size(), 12U);
    SimulatedDriver one(planner, {.robot = right, .log_stream = false});
    one.time_speed = 0.0;
    EXPECT_EQ(one.move_to(goal, false), Result::Success);
    EXPECT_EQ(one.get_current_joint_position().size(), 6U);
}

TEST(SimulatedDriver, FinishedMotionsReturnTheRunResult) {
    SimulatedRobot cell(0.0);
    cell.driver->set_run_result(Result::ErrorControllerAlarmActive);
    EXPECT_EQ(cell.driver->run(cell.plan(zero, goal)), Result::ErrorControllerAlarmActive);
    EXPECT_EQ(cell.driver->get_current_joint_position(), goal);
}

TEST(SimulatedDriver, TimeSpeedScalesWallClockDuration) {
    SimulatedRobot cell(10.0);
    const auto trajectory = cell.plan(zero, goal);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(cell.driver->run(trajectory), Result::Success);
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // One pause of 0.4 ms per cycle: at least a tenth of the planned duration.
    EXPECT_GE(elapsed, 0.9 * trajectory.duration() / 10.0);
    EXPECT_EQ(cell.driver->get_current_joint_position(), goal);
}

TEST(SimulatedDriver, PlanningFailureOnAnIdleDriverIsReportedAtOnce) {
    SimulatedRobot cell(0.0);
    std::vector<double> far = zero;
    far[0] = 0.2;
    EXPECT_EQ(cell.driver->run_async(cell.plan(far, goal)).get(), Result::ErrorTrajectoryDidNotUpdate);
    std::vector<double> unreachable = zero;
    unreachable[0] = 100.0;
    EXPECT_EQ(cell.driver->move_to(unreachable, false), Result::ErrorTrajectoryDidNotUpdate);
    EXPECT_FALSE(cell.driver->is_running());
}

TEST(SimulatedDriver, MovesToAPointAndBack) {
    SimulatedRobot cell(0.0);
    EXPECT_EQ(cell.driver->move_to(goal, false), Result::Success);
    EXPECT_EQ(cell.driver->get_current_joint_position(), goal);
    EXPECT_EQ(cell.driver->move_to(velmor::Waypoint(zero), true), Result::Success);
    EXPECT_EQ(cell.driver->get_current_joint_position(), zero);
}

TEST(SimulatedDriver, StopAbortsTheMotionAndComesToRest) {
    SimulatedRobot cell(4.0);
    const auto motion = cell.driver->run_async(cell.plan(zero, goal));
    std::this_thread::sleep_for(50ms);
    ASSERT_TRUE(cell.driver->is_running());
    const auto stop = cell.driver->stop_async(true);
    ASSERT_TRUE(is_ready(motion));
    EXPECT_EQ(motion.get(), Result::ErrorTrajectoryAborted);
    EXPECT_EQ(stop.get(), Result::Success);
    const auto state = cell.driver->get_current_state();
    for (double velocity : state.velocity) {
        EXPECT_NEAR(velocity, 0.0, 1e-9);
    }
    EXPECT_NE(state.position, goal);
}

TEST(SimulatedDriver, StopAndResumeOnAnIdleDriverReturnTheRunResultAtOnce) {
    SimulatedRobot cell(0.0);
    cell.driver->set_run_result(Result::ErrorControllerInHoldState);
    EXPECT_EQ(cell.driver->stop_async(false).get(), Result::ErrorControllerInHoldState);
    // Nothing was ever played: resuming has nothing to continue.
    EXPECT_EQ(cell.driver->resume_async().get(), Result::Error);
    EXPECT_EQ(cell.driver->run(cell.plan(zero, goal)), Result::ErrorControllerInHoldState);
    EXPECT_EQ(cell.driver->resume(), Result::ErrorControllerInHoldState);
}

TEST(SimulatedDriver, BlendCompletesTheReplacedMotionAndEndsOnTheNewTrajectory) {
    SimulatedRobot cell(4.0);
    const auto first = cell.driver->run_async(cell.plan(zero, goal));
    std::this_thread::sleep_for(50ms);
    const std::vector<double> other {-0.3, 0.2, 0.1, 0.0, 0.4, -0.2};
    const auto blend = cell.driver->blend_into_async(cell.plan(zero, other), 0.5);
    ASSERT_TRUE(is_ready(first));
    EXPECT_EQ(first.get(), Result::Success);
    EXPECT_EQ(blend.get(), Result::Success);
    const auto position = cell.driver->get_current_joint_position();
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_NEAR(position[i], other[i], 1e-12);
    }
}

TEST(SimulatedDriver, PauseAndResumeEndWhereAnUnpausedRunEnds) {
    SimulatedRobot cell(10.0);
    const auto trajectory = cell.plan(zero, goal);
    const auto motion = cell.driver->run_async(trajectory);
    std::this_thread::sleep_for(20ms);
    EXPECT_TRUE(cell.driver->pause());
    EXPECT_EQ(motion.get(), Result::ErrorTrajectoryAborted);
    EXPECT_FALSE(cell.driver->is_running());
    EXPECT_TRUE(cell.driver->is_paused());
    const auto paused_at = cell.driver->get_current_joint_position();
    EXPECT_NE(paused_at, goal);
    EXPECT_EQ(cell.driver->resume(), Result::Success);
    EXPECT_EQ(cell.driver->get_current_joint_position(), goal);
}

TEST(SimulatedDriver, AMotionOnAPausedIdleDriverStandsStill) {
    SimulatedRobot cell(0.0);
    EXPECT_TRUE(cell.driver->pause_async().get());
    EXPECT_EQ(cell.driver->run(cell.plan(zero, goal)), Result::ErrorTrajectoryAborted);
    EXPECT_EQ(cell.driver->get_current_joint_position(), zero);
}

TEST(SimulatedDriver, EventsFireAlongTheMotion) {
    SimulatedRobot cell(0.0);
    const auto trajectory = cell.plan(zero, goal);
    std::vector<double> fired;
    cell.driver->add_event(velmor::drivers::Trigger::Time() > 0.5, velmor::drivers::Action([&](double t) {
                               fired.push_back(t);
                           }));
    cell.driver->add_event(velmor::drivers::Trigger::Time() > 1e9,
                           velmor::drivers::Action([&](double t) { fired.push_back(-t); }));
    EXPECT_EQ(cell.driver->run(trajectory), Result::Success);
    ASSERT_EQ(fired.size(), 1U);
    EXPECT_GT(fired[0], 0.5);
    EXPECT_LE(fired[0], 0.5 + 0.004 + 1e-12);
    // The unfired event went with the finished motion.
    EXPECT_EQ(cell.driver->run(cell.plan(goal, zero)), Result::Success);
    EXPECT_EQ(fired.size(), 1U);
}

TEST(SimulatedDriver, AFailedEventFailsItsMotionOnceAndReachesDisconnect) {
    SimulatedRobot cell(0.0);
    int calls = 0;
    cell.driver->add_event(velmor::drivers::Trigger::Time() > 0.1, velmor::drivers::Action([&calls](double) {
                               ++calls;
                               throw std::runtime_error("action failed");
                           }));
    EXPECT_EQ(cell.driver->run(cell.plan(zero, goal)), Result::Error);
    EXPECT_FALSE(cell.driver->is_running());
    // Reported at rest once the stop has brought it there, not moving as where the event failed.
    EXPECT_TRUE(SimulatedDriver::are_positions_within(cell.driver->get_current_state().velocity, zero, 1e-9));
    // The failed event is gone: later motions run, and the error is still reported.
    EXPECT_EQ(cell.driver->move_to(zero, false), Result::Success);
    EXPECT_THROW(cell.driver->disconnect(), std::runtime_error);
    EXPECT_TRUE(cell.driver->disconnect());
    EXPECT_TRUE(cell.driver->reconnect());
    EXPECT_EQ(cell.driver->move_to(goal, false), Result::Success);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(cell.driver->disconnect());
}

TEST(SimulatedDriver, DestructionAbsorbsALoopError) {
    SimulatedRobot cell(0.0);
    cell.driver->add_event(velmor::drivers::Trigger::Time() > 0.1, velmor::drivers::Action([](double) {
                               throw std::runtime_error("action failed");
                           }));
    (void)cell.driver->run_async(cell.plan(zero, goal));
    cell.driver.reset();
    SUCCEED();
}

TEST(SimulatedDriver, SetCurrentJointPositionStoresAnyVector) {
    SimulatedRobot cell(0.0);
    cell.driver->set_current_joint_position({1.0, 2.0});
    EXPECT_EQ(cell.driver->get_current_joint_position(), (std::vector<double> {1.0, 2.0}));
}

TEST(SimulatedDriver, PrintsThePositionAndMotionLines) {
    SimulatedRobot cell(0.0, true);
    std::vector<double> start = zero;
    start[1] = 1.5707963;
    cell.driver->set_current_joint_position(start);
    const velmor::Trajectory at_rest({0.0}, {start}, {zero}, {zero});
    cell.driver->log_motions = true;
    testing::internal::CaptureStdout();
    EXPECT_EQ(cell.driver->run(at_rest), Result::Success);
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_NE(printed.find("position=[0, 1.571, 0, 0, 0, 0]\n[velmor.driver.log_motion] step="), std::string::npos)
        << printed;
    EXPECT_TRUE(std::regex_search(printed, std::regex(R"(\[velmor\.driver\.log_motion\] step=\d{13} \| )"
                                                      R"(desired_position=\[0, 1\.571, 0, 0, 0, 0\]\n)")))
        << printed;
}

TEST(SimulatedDriver, InterruptEndsTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            SimulatedRobot cell(1.0);
            (void)cell.driver->run_async(cell.plan(zero, goal));
            std::raise(SIGINT);
            std::this_thread::sleep_for(5s);
        },
        ::testing::KilledBySignal(SIGINT), "");
}

}  // namespace
