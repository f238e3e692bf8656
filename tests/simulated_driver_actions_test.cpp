#include <velmor/drivers/simulated_driver.hpp>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <velmor/velmor_error.hpp>

#include "support/simulated_robot.hpp"

namespace {

using velmor::drivers::Action;
using velmor::drivers::Result;
using velmor::drivers::SimulatedDriver;
using velmor::drivers::Trigger;
using velmor::drivers::testing::SimulatedRobot;
using namespace std::chrono_literals;

using velmor::drivers::testing::goal;
using velmor::drivers::testing::zero;
const std::vector<double> other {-0.3, 0.2, 0.1, 0.0, 0.4, -0.2};

// A motion's future, waited on with a deadline so that a hanging loop fails the test.
Result outcome(const std::shared_future<Result>& future) {
    if (future.wait_for(30s) != std::future_status::ready) {
        ADD_FAILURE() << "the motion did not end";
        return Result::Error;
    }
    return future.get();
}

struct Operation {
    std::string name;
    std::function<void(SimulatedRobot&)> call;
    // Empty: the operation works inside an action. Otherwise the text its refusal names.
    std::string instead;
};

void PrintTo(const Operation& operation, std::ostream* out) {
    *out << operation.name;
}

std::filesystem::path io_config_file() {
    const auto path = std::filesystem::path(::testing::TempDir()) / "actions_io_config.json";
    std::ofstream(path) << R"({"from_file": 1})";
    return path;
}

// Every public operation of the driver; those that neither wait nor change the
// motion are grouped.
std::vector<Operation> every_operation() {
    auto plan = [](SimulatedRobot& cell) { return cell.plan(zero, other); };
    return {
        {"reconnect", [](SimulatedRobot& cell) { EXPECT_TRUE(cell.driver->reconnect()); }, ""},
        {"another_driver",
         [](SimulatedRobot&) {
             SimulatedRobot second(0.0);
             EXPECT_EQ(second.driver->move_to(other, false), Result::Success);
             EXPECT_EQ(second.driver->get(second.driver->move_to_async(zero, false), 60.0), Result::Success);
         },
         ""},
        {"disconnect", [](SimulatedRobot& cell) { cell.driver->disconnect(); }, "disconnect from the script"},
        {"run", [plan](SimulatedRobot& cell) { cell.driver->run(plan(cell)); }, "run_async()"},
        {"run_async", [plan](SimulatedRobot& cell) { (void)cell.driver->run_async(plan(cell)); }, ""},
        {"move_to", [](SimulatedRobot& cell) { cell.driver->move_to(other, false); }, "move_to_async()"},
        {"move_to_async", [](SimulatedRobot& cell) { (void)cell.driver->move_to_async(other, false); }, ""},
        {"move_along", [](SimulatedRobot& cell) { cell.driver->move_along("none", std::nullopt, false); },
         "move_along_async()"},
        {"move_along_async",
         [](SimulatedRobot& cell) { (void)cell.driver->move_along_async("none", std::nullopt, false); }, ""},
        {"blend_into", [plan](SimulatedRobot& cell) { cell.driver->blend_into(plan(cell), 0.1); },
         "blend_into_async()"},
        {"blend_into_async", [plan](SimulatedRobot& cell) { (void)cell.driver->blend_into_async(plan(cell), 0.1); },
         ""},
        {"stop", [](SimulatedRobot& cell) { cell.driver->stop(true); }, "stop_async()"},
        {"stop_async", [](SimulatedRobot& cell) { (void)cell.driver->stop_async(false); }, ""},
        {"resume", [](SimulatedRobot& cell) { cell.driver->resume(); }, "resume_async()"},
        {"resume_async", [](SimulatedRobot& cell) { (void)cell.driver->resume_async(); }, ""},
        {"pause", [](SimulatedRobot& cell) { cell.driver->pause(); }, "pause_async()"},
        {"pause_async", [](SimulatedRobot& cell) { (void)cell.driver->pause_async(); }, ""},
        {"run_command_async",
         [](SimulatedRobot& cell) {
             (void)cell.driver->run_command_async(velmor::drivers::PointCommand {other, false});
         },
         ""},
        {"set_speed", [](SimulatedRobot& cell) { cell.driver->set_speed(0.5); }, ""},
        {"set_speed_ramp", [](SimulatedRobot& cell) { cell.driver->set_speed(0.0, 0.1); }, ""},
        {"state",
         [](SimulatedRobot& cell) {
             auto& driver = *cell.driver;
             EXPECT_TRUE(driver.is_connected() && driver.is_running() && !driver.is_paused());
             EXPECT_EQ(driver.get_speed(), 1.0);
             EXPECT_EQ(driver.enable(), Result::Success);
             EXPECT_EQ(driver.disable(), Result::Success);
             EXPECT_EQ(driver.get_controller_status(), velmor::drivers::ControllerStatus::Unknown);
             EXPECT_EQ(driver.get_current_state().position, driver.get_current_joint_position());
             EXPECT_EQ(driver.get_degrees_of_freedom() + driver.get_mirava_update_interval(), 7U);
         },
         ""},
        {"io",
         [](SimulatedRobot& cell) {
             auto& driver = *cell.driver;
             driver.create_io("gripper", 0);
             driver.load_io_config({velmor::drivers::simulated::Signal("loaded", 1, "")});
             driver.load_io_config_from_file(io_config_file());
             EXPECT_TRUE(driver.set_digital_output("gripper", 1));
             EXPECT_EQ(driver.get_digital_input("gripper"), 1);
             EXPECT_FALSE(driver.get_analog_input("x") || driver.set_analog_output("x", 1.0) ||
                          driver.get_group_input("x") || driver.set_group_output("x", 1) ||
                          driver.get_int_register("x") || driver.set_int_register("x", 1) ||
                          driver.get_double_register("x") || driver.set_double_register("x", 1.0));
         },
         ""},
        {"settings",
         [](SimulatedRobot& cell) {
             auto& driver = *cell.driver;
             driver.add_event(Trigger::Time() > 0.2, Action([](double) {}));
             driver.create_io_alias("alias", 3);
             driver.set_current_joint_position(other);
             driver.set_mirava(driver.get_mirava());
             driver.set_run_result(driver.get_run_result());
             driver.set_enable_result(driver.get_enable_result());
             driver.time_speed = 0.0;
         },
         ""},
    };
}

class OperationInsideAnAction : public ::testing::TestWithParam<Operation> {};

// Whatever an action calls, the motion ends and the driver stays usable; an
// operation that would wait for the loop is refused and changes nothing.
TEST_P(OperationInsideAnAction, NeitherHangsNorCrashes) {
    SimulatedRobot cell(0.0);
    std::promise<std::optional<velmor::VelmorError>> called;
    cell.driver->add_event(Trigger::Time() > 0.1, Action([&](double) {
                               try {
                                   GetParam().call(cell);
                                   called.set_value(std::nullopt);
                               } catch (const velmor::VelmorError& error) {
                                   called.set_value(error);
                               }
                           }));
    const Result result = outcome(cell.driver->run_async(cell.plan(zero, goal)));
    auto action_done = called.get_future();
    ASSERT_EQ(action_done.wait_for(30s), std::future_status::ready) << "the action did not run";
    const auto refusal = action_done.get();
    if (GetParam().instead.empty()) {
        EXPECT_FALSE(refusal) << refusal->what();
    } else {
        ASSERT_TRUE(refusal) << "not refused";
        EXPECT_EQ(refusal->module, "driver");
        EXPECT_NE(refusal->message.find(GetParam().instead), std::string::npos) << refusal->message;
        EXPECT_EQ(result, Result::Success);
        EXPECT_EQ(cell.driver->get_current_joint_position(), goal);
        EXPECT_TRUE(cell.driver->is_connected());
    }
    cell.driver->set_speed(1.0);
    EXPECT_EQ(cell.driver->move_to(zero, false), Result::Success);
    EXPECT_EQ(cell.driver->get_current_joint_position(), zero);
    EXPECT_TRUE(cell.driver->disconnect());
}

INSTANTIATE_TEST_SUITE_P(EveryPublicOperation, OperationInsideAnAction, ::testing::ValuesIn(every_operation()),
                         [](const ::testing::TestParamInfo<Operation>& info) { return info.param.name; });

// The future an action obtained; the motion's own future completes before the
// action returns, so the action hands it over rather than storing it.
std::shared_future<Result> handed(std::promise<std::shared_future<Result>>& promise) {
    auto future = promise.get_future();
    if (future.wait_for(30s) != std::future_status::ready) {
        ADD_FAILURE() << "the action did not run";
        return {};
    }
    return future.get();
}

TEST(CommandsFromAnAction, StopAsyncStopsTheMotion) {
    SimulatedRobot cell(0.0);
    std::promise<std::shared_future<Result>> stop;
    cell.driver->add_event(Trigger::Time() > 0.3,
                           Action([&](double) { stop.set_value(cell.driver->stop_async(true)); }));
    EXPECT_EQ(outcome(cell.driver->run_async(cell.plan(zero, goal))), Result::ErrorTrajectoryAborted);
    EXPECT_EQ(outcome(handed(stop)), Result::Success);
    const auto state = cell.driver->get_current_state();
    EXPECT_NE(state.position, goal);
    for (double velocity : state.velocity) {
        EXPECT_NEAR(velocity, 0.0, 1e-9);
    }
}

TEST(CommandsFromAnAction, MoveToAsyncHandsOverANewCommand) {
    SimulatedRobot cell(0.0);
    std::promise<std::shared_future<Result>> next;
    cell.driver->add_event(Trigger::Time() > 0.3,
                           Action([&](double) { next.set_value(cell.driver->move_to_async(other, false)); }));
    EXPECT_EQ(outcome(cell.driver->run_async(cell.plan(zero, goal))), Result::Success);
    EXPECT_EQ(outcome(handed(next)), Result::Success);
    EXPECT_EQ(cell.driver->get_current_joint_position(), other);
}

// The last two cycles of a motion: the one that emits the last sample, and the
// one that finds the trajectory finished and ends the loop.
class PauseInTheLastCycles : public ::testing::TestWithParam<int> {};

TEST_P(PauseInTheLastCycles, CompletesWithFalseAndTheNextMotionContinuesItsRamp) {
    SimulatedRobot cell(0.0);
    std::shared_future<bool> paused;
    int cycles_at_the_end {0};
    const Trigger at_the_end([&](const std::shared_ptr<velmor::Robot>&, double time, const std::vector<double>&,
                                 const velmor::Trajectory& trajectory) {
        return time >= trajectory.duration() && ++cycles_at_the_end == GetParam();
    });
    cell.driver->add_event(at_the_end, Action([&](double) { paused = cell.driver->pause_async(); }));
    EXPECT_EQ(outcome(cell.driver->run_async(cell.plan(zero, goal))), Result::Success);
    ASSERT_TRUE(paused.valid());
    ASSERT_EQ(paused.wait_for(0s), std::future_status::ready);
    EXPECT_FALSE(paused.get());
    EXPECT_EQ(outcome(cell.driver->run_async(cell.plan(goal, zero))), Result::ErrorTrajectoryAborted);
    EXPECT_TRUE(cell.driver->is_paused());
    EXPECT_EQ(outcome(cell.driver->resume_async()), Result::Success);
    EXPECT_EQ(cell.driver->get_current_joint_position(), zero);
}

INSTANTIATE_TEST_SUITE_P(Cycles, PauseInTheLastCycles, ::testing::Values(1, 2));

}  // namespace
