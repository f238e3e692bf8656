#include <velmor/drivers/simulated_driver.hpp>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/simulated_robot.hpp"

namespace {

using velmor::drivers::Fault;
using velmor::drivers::Result;
using velmor::drivers::Trigger;
using velmor::drivers::testing::SimulatedRobot;
using namespace std::chrono_literals;

constexpr int commands_per_thread = 2500;

struct Issued {
    std::vector<std::shared_future<Result>> results;
    std::vector<std::shared_future<bool>> pauses;
};

// Random goals well inside the arm's joint limits.
std::vector<double> random_goal(std::mt19937& random) {
    std::uniform_real_distribution<double> joint(-1.0, 1.0);
    std::vector<double> goal(6);
    for (double& q : goal) {
        q = joint(random);
    }
    return goal;
}

void issue_commands(SimulatedRobot& cell, unsigned seed, Issued& issued) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> kind(0, 7);
    std::uniform_real_distribution<double> fraction(0.0, 1.0);
    auto& driver = *cell.driver;
    for (int i = 0; i < commands_per_thread; ++i) {
        switch (kind(random)) {
            case 0: {
                const auto from = driver.get_current_joint_position();
                if (auto trajectory = cell.planner->plan(velmor::Motion(cell.robot, "", velmor::Waypoint(from),
                                                                        random_goal(random)))) {
                    issued.results.push_back(driver.run_async(*trajectory));
                }
                break;
            }
            case 1:
                issued.results.push_back(driver.move_to_async(random_goal(random), false));
                break;
            case 2: {
                const auto target = random_goal(random);
                if (auto trajectory = cell.planner->plan(
                        velmor::Motion(cell.robot, "", velmor::Waypoint(random_goal(random)), target))) {
                    issued.results.push_back(driver.blend_into_async(*trajectory, fraction(random)));
                }
                break;
            }
            case 3:
                issued.results.push_back(driver.stop_async(fraction(random) < 0.5));
                break;
            case 4:
                issued.pauses.push_back(driver.pause_async());
                break;
            case 5:
                issued.results.push_back(driver.resume_async());
                break;
            // Speeds stay at or below 1: above it the played states exceed the arm's
            // limits, every plan from them starts by braking back inside, and blends
            // from such states compound into motions of many minutes.
            case 6:
                driver.set_speed(0.2 + 0.8 * fraction(random));
                break;
            default:
                driver.set_speed(0.2 + 0.8 * fraction(random), 0.5 * fraction(random));
                break;
        }
    }
}

class CommandStorm : public ::testing::TestWithParam<double> {};

TEST_P(CommandStorm, EveryFutureCompletesOnceWithOneLoopAtATime) {
    SimulatedRobot cell(GetParam());
    Issued first;
    Issued second;
    std::thread a(issue_commands, std::ref(cell), 1U, std::ref(first));
    std::thread b(issue_commands, std::ref(cell), 2U, std::ref(second));
    a.join();
    b.join();

    // Let whatever still moves come to an end.
    cell.driver->set_speed(1.0);
    (void)cell.driver->stop(true);
    for (const Issued* issued : {&first, &second}) {
        for (const auto& future : issued->results) {
            ASSERT_EQ(future.wait_for(60s), std::future_status::ready);
            // A broken promise (a command whose promise was dropped) would throw here.
            EXPECT_NO_THROW((void)future.get());
        }
        for (const auto& future : issued->pauses) {
            ASSERT_EQ(future.wait_for(60s), std::future_status::ready);
        }
    }
    EXPECT_GT(first.results.size() + second.results.size(), 3000U);

    EXPECT_LE(cell.driver->most_active_loops.load(), 1);
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (cell.driver->is_running() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_FALSE(cell.driver->is_running());

    // The driver is still whole: a plain motion runs to its goal. The storm may leave the
    // arm folded into itself, so the way home ignores collisions.
    cell.driver->set_speed(1.0);
    const std::vector<double> home(6, 0.0);
    EXPECT_EQ(cell.driver->move_to(home, true), Result::Success);
    EXPECT_EQ(cell.driver->get_current_joint_position(), home);
    EXPECT_EQ(cell.driver->active_loops.load(), 0);
    EXPECT_NO_THROW(cell.driver->disconnect());
}

INSTANTIATE_TEST_SUITE_P(TimeSpeeds, CommandStorm, ::testing::Values(0.0, 10.0));

// One thread keeps commanding motions while another loses the connection in them and
// reconnects: a reconnect that succeeded leaves the driver connected or, if a loss
// struck after it, with that fault active, never disconnected without a fault.
TEST(ConnectionStorm, ASuccessfulReconnectNeverLeavesTheDriverSilentlyDisconnected) {
    SimulatedRobot cell(0.0);
    auto& driver = *cell.driver;
    std::atomic<bool> storming {true};
    std::thread commanding([&] {
        std::mt19937 random(3);
        while (storming) {
            (void)driver.move_to_async(random_goal(random), true);
        }
    });
    int reconnects {0};
    int contradictions {0};
    const auto end = std::chrono::steady_clock::now() + 4s;
    while (std::chrono::steady_clock::now() < end) {
        driver.inject_fault(Fault::ConnectionLost, Trigger::Time() > 0.0);
        if (driver.reconnect()) {
            ++reconnects;
            contradictions += !driver.is_connected() && !driver.get_active_fault() ? 1 : 0;
        }
    }
    storming = false;
    commanding.join();
    driver.clear_fault();
    EXPECT_TRUE(driver.reconnect());
    EXPECT_GT(reconnects, 1000);
    EXPECT_EQ(contradictions, 0) << "of " << reconnects << " reconnects";
    EXPECT_NO_THROW(driver.disconnect());
}

}  // namespace
