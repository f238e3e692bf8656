#include <velmor/drivers/driver.hpp>

#include <cmath>
#include <cstdlib>
#include <future>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <support/test_driver.hpp>
#include <velmor/log/log.hpp>
#include <velmor/motion/environment.hpp>
#include <velmor/motion/robots.hpp>
#include <velmor/velmor_error.hpp>

namespace velmor::drivers {
namespace {

using testing::arm_planner;
using testing::TestDriver;
using testing::trajectory_of;

std::string construction_error(const std::shared_ptr<velmor::Planner>& planner,
                               const std::shared_ptr<velmor::Robot>& robot = nullptr) {
    try {
        TestDriver driver(planner, robot);
    } catch (const VelmorError& error) {
        EXPECT_EQ(error.module, "driver");
        return error.message;
    }
    return "no error";
}

std::shared_ptr<velmor::Planner> planner_with(std::vector<std::shared_ptr<velmor::Robot>> robots) {
    auto environment = std::make_shared<velmor::Environment>();
    for (std::size_t i = 0; i < robots.size(); ++i) {
        environment->add_robot("robot" + std::to_string(i), robots[i]);
    }
    return std::make_shared<velmor::Planner>(environment);
}

TEST(DriverConstruction, RequiresPlannerAndEnvironment) {
    const std::string message = "A planner and environment are required to instantiate the driver.";
    EXPECT_EQ(construction_error(nullptr), message);
    EXPECT_EQ(construction_error(std::make_shared<velmor::Planner>(std::shared_ptr<velmor::Environment>())), message);
    EXPECT_EQ(construction_error(nullptr, std::make_shared<velmor::robots::UR5e>()), message);
}

TEST(DriverConstruction, NamesRobotCountWhenRobotIsAmbiguous) {
    const auto two = planner_with({std::make_shared<velmor::robots::UR5e>(), std::make_shared<velmor::robots::UR5e>()});
    EXPECT_EQ(construction_error(two), "Please specify the exact robot to drive, as they are '2' in the environment.");
    EXPECT_EQ(construction_error(planner_with({})),
              "Please specify the exact robot to drive, as they are '0' in the environment.");
}

TEST(DriverConstruction, ExplicitRobotStillNeedsSingleRobotEnvironment) {
    auto arm = std::make_shared<velmor::robots::UR5e>();
    const auto two = planner_with({arm, std::make_shared<velmor::robots::UR5e>()});
    EXPECT_EQ(construction_error(two, arm), "Requires a single robot in the environment, but there are '2'.");
}

TEST(DriverConstruction, DrivesTheEnvironmentsOnlyRobot) {
    const auto planner = arm_planner();
    TestDriver driver(planner);
    EXPECT_EQ(driver.robot, planner->environment->get_robots().front());
    EXPECT_EQ(driver.degrees_of_freedom, 6U);
    EXPECT_EQ(driver.joint_offset, 0U);
    EXPECT_EQ(driver.get_host(), "127.0.0.1");
    EXPECT_EQ(driver.get_port(), 30002);
    EXPECT_EQ(driver.get_delta_time(), 0.004);
    EXPECT_EQ(driver.get_speed(), 1.0);
    EXPECT_EQ(driver.speed.load(), 1.0);
}

TEST(DriverConstruction, OffsetOfAnArmIsTheJointsOfTheArmsBeforeIt) {
    auto left = std::make_shared<velmor::robots::UR5e>();
    auto right = std::make_shared<velmor::robots::UR5e>();
    const auto planner = planner_with({std::make_shared<velmor::robots::DualArm>(left, right)});
    EXPECT_EQ(TestDriver(planner, left).joint_offset, 0U);
    EXPECT_EQ(TestDriver(planner, right).joint_offset, 6U);
    EXPECT_EQ(TestDriver(planner, right).degrees_of_freedom, 6U);
    EXPECT_EQ(TestDriver(planner, std::make_shared<velmor::robots::UR5e>()).joint_offset, 12U);
    EXPECT_EQ(TestDriver(planner).degrees_of_freedom, 12U);
}

TEST(DriverConstruction, ResetsLogLevelFromEnvironment) {
    unsetenv("VELMOR_LOG_LEVEL");
    velmor::log::level.store(velmor::log::Level::Error);
    TestDriver driver(arm_planner());
    EXPECT_EQ(velmor::log::level.load(), velmor::log::Level::Warn);
}

struct LogMotionsCase {
    const char* value;
    bool expected;
};

class LogMotions : public ::testing::TestWithParam<LogMotionsCase> {
protected:
    void TearDown() override { unsetenv("VELMOR_LOG_MOTIONS"); }
};

TEST_P(LogMotions, IsOnForOnOrTrueInAnyCase) {
    setenv("VELMOR_LOG_MOTIONS", GetParam().value, 1);
    TestDriver driver(arm_planner());
    EXPECT_EQ(driver.log_motions.load(), GetParam().expected) << "VELMOR_LOG_MOTIONS=" << GetParam().value;
}

INSTANTIATE_TEST_SUITE_P(Values, LogMotions,
                         ::testing::Values(LogMotionsCase {"TRUE", true}, LogMotionsCase {"On", true},
                                           LogMotionsCase {"on", true}, LogMotionsCase {"true", true},
                                           LogMotionsCase {"1", false}, LogMotionsCase {"yes", false},
                                           LogMotionsCase {"", false}, LogMotionsCase {"onn", false}));

TEST(LogMotionsUnset, IsOff) {
    unsetenv("VELMOR_LOG_MOTIONS");
    EXPECT_FALSE(TestDriver(arm_planner()).log_motions.load());
}

TEST(Driver, AnswersNeutrallyForMissingControllerFeatures) {
    TestDriver driver(arm_planner());
    EXPECT_FALSE(driver.reconnect());
    EXPECT_FALSE(driver.disconnect());
    EXPECT_FALSE(driver.is_connected());
    EXPECT_EQ(driver.get_controller_status(), ControllerStatus::Unknown);
    EXPECT_EQ(driver.enable(), Result::Success);
    EXPECT_EQ(driver.disable(), Result::Success);
    EXPECT_FALSE(driver.get_digital_input("x"));
    EXPECT_FALSE(driver.set_digital_output("x", 1));
    EXPECT_FALSE(driver.get_analog_input("x"));
    EXPECT_FALSE(driver.set_analog_output("x", 1.0));
    EXPECT_FALSE(driver.get_group_input("x"));
    EXPECT_FALSE(driver.set_group_output("x", 1));
    EXPECT_FALSE(driver.get_int_register("x"));
    EXPECT_FALSE(driver.set_int_register("x", 1));
    EXPECT_FALSE(driver.get_double_register("x"));
    EXPECT_FALSE(driver.set_double_register("x", 1.0));
}

TEST(Driver, CurrentJointPositionIsTheCurrentState) {
    TestDriver driver(arm_planner());
    driver.current_state.position = {0.1, 0.2, 0.3, 0.4, 0.5, 0.6};
    EXPECT_EQ(driver.get_current_joint_position(), driver.current_state.position);
}

TEST(SynchronousCommands, WaitForTheAsynchronousResult) {
    TestDriver driver(arm_planner());
    std::promise<Result> promise;
    driver.next_result = promise.get_future().share();
    std::thread completer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        promise.set_value(Result::ErrorControllerAlarmActive);
    });
    EXPECT_EQ(driver.run(trajectory_of({{0, 0, 0, 0, 0, 0}})), Result::ErrorControllerAlarmActive);
    completer.join();
    EXPECT_EQ(driver.last_call, "run");
}

TEST(SynchronousCommands, ForwardTheirArguments) {
    TestDriver driver(arm_planner());
    std::promise<Result> promise;
    promise.set_value(Result::ErrorTrajectoryAborted);
    driver.next_result = promise.get_future().share();
    const std::vector<double> goal {1, 2, 3, 4, 5, 6};

    EXPECT_EQ(driver.move_to(goal, true), Result::ErrorTrajectoryAborted);
    EXPECT_EQ(driver.last_call, "move_to");
    EXPECT_EQ(std::get<std::vector<double>>(*driver.last_goal), goal);
    EXPECT_TRUE(driver.last_flag);

    EXPECT_EQ(driver.move_along("home", std::nullopt, false), Result::ErrorTrajectoryAborted);
    EXPECT_EQ(driver.last_call, "move_along");
    EXPECT_EQ(driver.last_name, "home");
    EXPECT_FALSE(driver.last_goal);
    EXPECT_FALSE(driver.last_flag);

    EXPECT_EQ(driver.blend_into(trajectory_of({{0, 0, 0, 0, 0, 0}}), 0.25), Result::ErrorTrajectoryAborted);
    EXPECT_EQ(driver.last_call, "blend_into");
    EXPECT_EQ(driver.last_duration, 0.25);

    EXPECT_EQ(driver.stop(true), Result::ErrorTrajectoryAborted);
    EXPECT_EQ(driver.last_call, "stop");
    EXPECT_TRUE(driver.last_flag);

    EXPECT_EQ(driver.resume(), Result::ErrorTrajectoryAborted);
    EXPECT_EQ(driver.last_call, "resume");
}

TEST(SynchronousCommands, RethrowAStoredException) {
    TestDriver driver(arm_planner());
    std::promise<Result> promise;
    promise.set_exception(std::make_exception_ptr(VelmorError("time-scaler", "No trajectory defined.")));
    driver.next_result = promise.get_future().share();
    EXPECT_THROW(driver.resume(), VelmorError);
}

TEST(SynchronousCommands, RaiseNoStateForAFutureWithoutState) {
    TestDriver driver(arm_planner());
    try {
        driver.stop(false);
        FAIL() << "no exception";
    } catch (const std::future_error& error) {
        EXPECT_EQ(error.code(), std::future_errc::no_state);
    }
}

// A driver playing a 2 s trajectory on its time scaler, as a control loop would.
class PlayingDriver : public ::testing::Test {
protected:
    void SetUp() override {
        std::vector<std::vector<double>> positions;
        for (int i = 0; i <= 500; ++i) {
            positions.push_back(std::vector<double>(6, 0.001 * i));
        }
        driver.current_trajectory = trajectory_of(positions);
        driver.time_scaler.set_trajectory(&driver.current_trajectory);
        driver.running = true;
    }

    void step(int cycles) {
        for (int i = 0; i < cycles; ++i) {
            driver.time_scaler.next(state);
        }
    }

    TestDriver driver {arm_planner()};
    velmor::State state;
};

TEST_F(PlayingDriver, SpeedIsClampedButKeptAsTarget) {
    driver.set_speed(2.5);
    EXPECT_EQ(driver.get_speed(), 1.0);
    EXPECT_EQ(driver.speed.load(), 2.5);
    driver.set_speed(0.4);
    driver.set_speed(std::nan(""));
    EXPECT_EQ(driver.get_speed(), 0.4);
    EXPECT_TRUE(std::isnan(driver.speed.load()));
    driver.set_speed(std::numeric_limits<double>::infinity());
    EXPECT_EQ(driver.get_speed(), 0.4);
}

TEST_F(PlayingDriver, SpeedRampReachesItsTarget) {
    driver.set_speed(0.5, 0.1);
    EXPECT_EQ(driver.get_speed(), 1.0);
    step(40);
    EXPECT_DOUBLE_EQ(driver.get_speed(), 0.5);
    EXPECT_EQ(driver.speed.load(), 0.5);
}

TEST_F(PlayingDriver, ImmediateSpeedCancelsARunningRamp) {
    driver.set_speed(0.2, 1.0);
    step(10);
    driver.set_speed(0.8);
    step(300);
    EXPECT_EQ(driver.get_speed(), 0.8);
}

TEST_F(PlayingDriver, PauseRampEndsAtStandstillAndYieldsTrue) {
    const auto paused = driver.pause_async();
    EXPECT_TRUE(driver.is_pausing.load());
    EXPECT_EQ(paused.wait_for(std::chrono::seconds(0)), std::future_status::timeout);
    step(100);
    EXPECT_FALSE(driver.is_paused());
    step(100);
    ASSERT_EQ(paused.wait_for(std::chrono::seconds(0)), std::future_status::ready);
    EXPECT_TRUE(paused.get());
    EXPECT_TRUE(driver.is_paused());
}

TEST_F(PlayingDriver, SecondPauseDuringRampYieldsFalseAtOnce) {
    const auto first = driver.pause_async();
    const auto second = driver.pause_async();
    ASSERT_EQ(second.wait_for(std::chrono::seconds(0)), std::future_status::ready);
    EXPECT_FALSE(second.get());
    step(200);
    EXPECT_TRUE(first.get());
}

TEST_F(PlayingDriver, PauseYieldsFalseWhenTheTrajectoryEndsFirst) {
    step(450);
    const auto paused = driver.pause_async();
    // The last 0.2 s of the trajectory take about 60 cycles while slowing down; the ramp would need 175.
    step(120);
    ASSERT_EQ(paused.wait_for(std::chrono::seconds(0)), std::future_status::ready);
    EXPECT_FALSE(paused.get());
}

TEST_F(PlayingDriver, PauseReplacedByNewerSpeedRampThrowsFromPause) {
    auto pausing = std::async(std::launch::async, [this] { return driver.pause(); });
    // The pause claims is_pausing and starts its ramp in one step as set_speed
    // sees it: once the claim shows, the ramp is there to be replaced.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!driver.is_pausing.load() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
    }
    driver.set_speed(0.5, 1.0);
    if (pausing.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
        driver.set_speed(0.5);
        FAIL() << "pause() still waits for a ramp that is gone";
    }
    try {
        pausing.get();
        FAIL() << "no exception";
    } catch (const std::future_error& error) {
        EXPECT_EQ(error.code(), std::future_errc::broken_promise);
    }
    // The replaced pause no longer blocks the next one.
    const auto next = driver.pause_async();
    EXPECT_EQ(next.wait_for(std::chrono::seconds(0)), std::future_status::timeout);
    step(250);
    EXPECT_TRUE(next.get());
}

TEST_F(PlayingDriver, PauseOutrunByTheMotionsEndYieldsFalseAndTheNextTrajectoryContinuesItsRamp) {
    driver.set_speed(0.8);
    const auto paused = driver.pause_async();
    step(10);
    driver.stop_running();
    ASSERT_EQ(paused.wait_for(std::chrono::seconds(0)), std::future_status::ready);
    EXPECT_FALSE(paused.get());
    EXPECT_TRUE(driver.is_pausing.load());
    EXPECT_TRUE(driver.time_scaler.is_ramping());
    const double reached = driver.get_speed();
    EXPECT_LT(reached, 0.8);
    // The next trajectory starts at the scale reached and goes on down to standstill.
    driver.time_scaler.set_trajectory(&driver.current_trajectory);
    driver.running = true;
    step(2);
    EXPECT_LT(driver.get_speed(), reached);
    step(200);
    EXPECT_TRUE(driver.is_paused());
    driver.stop_running();
    EXPECT_FALSE(driver.is_pausing.load());
    EXPECT_TRUE(driver.pause());
}

// A pause on a running motion yields a bool whatever the scale, down to scales
// too small to ramp from.
class PauseAtScale : public PlayingDriver, public ::testing::WithParamInterface<double> {};

TEST_P(PauseAtScale, YieldsTrueAtStandstill) {
    driver.set_speed(GetParam());
    const auto paused = driver.pause_async();
    step(200);
    ASSERT_EQ(paused.wait_for(std::chrono::seconds(0)), std::future_status::ready);
    EXPECT_TRUE(paused.get());
    EXPECT_EQ(driver.get_speed(), 0.0);
    // The loop ends at standstill; a completed pause stays.
    driver.stop_running();
    EXPECT_TRUE(driver.is_paused());
    EXPECT_FALSE(driver.is_pausing.load());
    EXPECT_TRUE(driver.pause());
}

INSTANTIATE_TEST_SUITE_P(Scales, PauseAtScale, ::testing::Values(1.0, 0.5, 4e-15, 3e-15, 1e-15, 3e-16, 1e-300));

TEST(Pause, IdleDriverStopsAtOnceAndStaysPaused) {
    TestDriver driver(arm_planner());
    EXPECT_TRUE(driver.pause());
    EXPECT_EQ(driver.get_speed(), 0.0);
    EXPECT_TRUE(driver.is_paused());
    const auto again = driver.pause_async();
    ASSERT_EQ(again.wait_for(std::chrono::seconds(0)), std::future_status::ready);
    EXPECT_TRUE(again.get());
    EXPECT_FALSE(driver.is_pausing.load());
}

TEST(PositionsWithin, ComparesEveryJointAgainstTheTolerance) {
    EXPECT_TRUE(Driver::are_positions_within({0, 1}, {0.05, 1.1}, 0.1));
    EXPECT_FALSE(Driver::are_positions_within({0, 1}, {0.05, 1.1}, 0.05));
    EXPECT_FALSE(Driver::are_positions_within({0, 1}, {0, 1, 2}, 0.1));
    EXPECT_TRUE(Driver::are_positions_within({}, {}, 0.0));
    EXPECT_TRUE(Driver::are_positions_within({0.5, -0.25}, {0.0, 0.25}, 0.5));
    EXPECT_FALSE(Driver::are_positions_within({0.5, -0.25}, {0.0, 0.25}, 0.4999));
    EXPECT_FALSE(Driver::are_positions_within({0.0, 0.0}, {0.0, -0.2}, 0.1));
}

TEST(PositionsWithin, InfiniteDifferenceFails) {
    const double infinity = std::numeric_limits<double>::infinity();
    EXPECT_FALSE(Driver::are_positions_within({infinity}, {0.0}, 0.1));
    EXPECT_FALSE(Driver::are_positions_within({0.0}, {-infinity}, 1e300));
}

TEST(PositionsWithin, RoundingOfDecimalInputsDoesNotDecide) {
    EXPECT_TRUE(Driver::are_positions_within({1.0, 2.2}, {1.1, 2.0}, 0.2));
    EXPECT_TRUE(Driver::are_positions_within({1000.0}, {1000.1}, 0.1));
    EXPECT_FALSE(Driver::are_positions_within({1000.0}, {1000.1000001}, 0.1));
    EXPECT_FALSE(Driver::are_positions_within({0.0}, {1e-300}, 0.0));
}

TEST(PositionsWithin, NanDifferenceDoesNotFail) {
    EXPECT_TRUE(Driver::are_positions_within({std::nan(""), 1}, {0, 1}, 0.1));
    EXPECT_FALSE(Driver::are_positions_within({std::nan(""), 1}, {0, 2}, 0.1));
}

class DualArmDriver : public ::testing::Test {
protected:
    std::shared_ptr<velmor::robots::UR5e> left {std::make_shared<velmor::robots::UR5e>()};
    std::shared_ptr<velmor::robots::UR5e> right {std::make_shared<velmor::robots::UR5e>()};
    std::shared_ptr<velmor::Planner> planner {planner_with({std::make_shared<velmor::robots::DualArm>(left, right)})};
    TestDriver driver {planner, right};

    static std::vector<double> counting(std::size_t count, double from) {
        std::vector<double> values;
        for (std::size_t i = 0; i < count; ++i) {
            values.push_back(from + static_cast<double>(i));
        }
        return values;
    }
};

TEST_F(DualArmDriver, SliceKeepsTheDrivenArmsJoints) {
    velmor::State state {1.5, counting(12, 0), counting(12, 100), counting(12, 200)};
    driver.slice_state_offset(state);
    EXPECT_EQ(state.time, 1.5);
    EXPECT_EQ(state.position, counting(6, 6));
    EXPECT_EQ(state.velocity, counting(6, 106));
    EXPECT_EQ(state.acceleration, counting(6, 206));
}

TEST_F(DualArmDriver, SliceLeavesNarrowOrShortStatesAlone) {
    velmor::State narrow {0.0, counting(6, 0), counting(6, 0), counting(6, 0)};
    driver.slice_state_offset(narrow);
    EXPECT_EQ(narrow.position, counting(6, 0));

    velmor::State short_state {0.0, counting(11, 0), counting(11, 0), counting(11, 0)};
    driver.slice_state_offset(short_state);
    EXPECT_EQ(short_state.position, counting(11, 0));
}

TEST_F(DualArmDriver, SliceNeverReadsPastAShortDerivative) {
    velmor::State state {0.0, counting(12, 0), counting(3, 100), counting(13, 200)};
    driver.slice_state_offset(state);
    EXPECT_EQ(state.position, counting(6, 6));
    EXPECT_EQ(state.velocity, counting(3, 100));
    EXPECT_EQ(state.acceleration, counting(6, 206));
}

TEST(Driver, FinishedMotionDropsEveryPendingEvent) {
    TestDriver driver(arm_planner());
    int fired = 0;
    driver.add_event(Trigger::Time() >= 0.0, Action([&](double) { ++fired; }));
    driver.check_for_events(-1.0, {0, 0, 0, 0, 0, 0});
    driver.add_event(Trigger::Time() >= 0.0, Action([&](double) { ++fired; }));
    ASSERT_EQ(driver.events.size(), 1U);
    driver.running = true;
    driver.is_pausing = true;
    driver.on_motion_did_finish();
    EXPECT_FALSE(driver.is_running());
    EXPECT_FALSE(driver.is_pausing.load());
    EXPECT_FALSE(driver.has_events());
    driver.check_for_events(1.0, {0, 0, 0, 0, 0, 0});
    EXPECT_EQ(fired, 0);
}

TEST(Driver, LaterAliasReplacesEarlierAddress) {
    TestDriver driver(arm_planner());
    driver.create_io_alias("gripper", 3);
    driver.create_io_alias("gripper", 7);
    driver.create_io_alias("light", 1);
    EXPECT_EQ(driver.io_aliases.at("gripper"), 7U);
    EXPECT_EQ(driver.io_aliases.size(), 2U);
}

}  // namespace
}  // namespace velmor::drivers
