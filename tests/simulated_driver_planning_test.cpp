#include <velmor/drivers/simulated_driver.hpp>

#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "support/simulated_robot.hpp"
#include "support/test_driver.hpp"

namespace {

using velmor::drivers::Result;
using velmor::drivers::testing::InspectableDriver;

// The tool at the pick station, on the far side of it and at the place station; a
// fixture between the pick and the place station blocks the direct motion.
const std::vector<double> pick {0.6, -1.1, 1.8, -2.3, -1.57, 0.0};
const std::vector<double> far_side {1.2, -1.1, 1.8, -2.3, -1.57, 0.0};
const std::vector<double> place {-0.6, -1.1, 1.8, -2.3, -1.57, 0.0};

class PlayedDriver : public InspectableDriver {
public:
    using InspectableDriver::InspectableDriver;
    using InspectableDriver::current_trajectory;
    using InspectableDriver::has_new_command;
};

class PlanningWhileRunning : public ::testing::Test {
protected:
    void SetUp() override {
        environment->add_obstacle("fixture", velmor::Box({0.3, 0.1, 0.4}, velmor::Frame::from_translation(-0.6, -0.15, 0.2)));
        driver->time_speed = 4.0;
        driver->set_current_joint_position(pick);
    }

    //! Waits until the robot has left `from`, i.e. a cycle has played since it stood there.
    void wait_until_moving(const std::vector<double>& from = pick) const {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (driver->get_current_joint_position() == from) {
            ASSERT_LT(std::chrono::steady_clock::now(), deadline);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    void wait_until_taken_over() const {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (driver->has_new_command.load()) {
            ASSERT_LT(std::chrono::steady_clock::now(), deadline);
            std::this_thread::yield();
        }
    }

    void expect_at(const std::vector<double>& goal) const {
        const auto position = driver->get_current_joint_position();
        for (std::size_t j = 0; j < goal.size(); ++j) {
            EXPECT_NEAR(position[j], goal[j], 1e-9) << "joint " << j;
        }
    }

    std::shared_ptr<velmor::RobotArm> robot = std::make_shared<velmor::robots::UR5e>();
    std::shared_ptr<velmor::Environment> environment = std::make_shared<velmor::Environment>(robot);
    std::shared_ptr<velmor::Planner> planner = std::make_shared<velmor::Planner>(environment);
    std::shared_ptr<PlayedDriver> driver =
        std::make_shared<PlayedDriver>(planner, nullptr, false, false, false, false, "192.168.0.1", 8000);
};

TEST_F(PlanningWhileRunning, TheWayAroundTakesOverFromTheRunningMotionAfterTheSearch) {
    const auto first = driver->move_to_async(far_side, false);
    wait_until_moving();
    const auto second = driver->move_to_async(place, false);
    EXPECT_EQ(first.get(), Result::Success);
    EXPECT_EQ(second.get(), Result::Success);
    expect_at(place);
    // The trajectory played last is the way around, from a state on the way to the far side.
    const velmor::Trajectory& around = driver->current_trajectory;
    EXPECT_FALSE(planner->check_trajectory(around));
    EXPECT_GT(around.front().position[0], pick[0]);
    EXPECT_EQ(driver->most_active_loops.load(), 1);
}

TEST_F(PlanningWhileRunning, AMotionThatEndsBeforeTheHandOverHoldsAtItsEnd) {
    // Ends long before the search's hand-over.
    std::vector<double> nudge = pick;
    nudge[0] += 0.01;
    const auto first = driver->move_to_async(nudge, false);
    wait_until_moving();
    const auto second = driver->move_to_async(place, false);
    EXPECT_EQ(second.get(), Result::Success);
    expect_at(place);
    EXPECT_NEAR(driver->current_trajectory.front().position[0], nudge[0], 1e-9);
}

TEST_F(PlanningWhileRunning, ANewerCommandCancelsTheSearch) {
    const auto first = driver->move_to_async(far_side, false);
    wait_until_moving();
    // Slowed down, the hand-over is seconds away when the newer command comes.
    driver->time_speed = 0.05;
    const auto blocked = driver->move_to_async(place, false);
    // Once the loop has taken the command over, its search runs.
    wait_until_taken_over();
    const auto newer = driver->move_to_async(pick, false);
    driver->time_speed = 4.0;
    EXPECT_EQ(blocked.get(), Result::Success);
    EXPECT_EQ(newer.get(), Result::Success);
    expect_at(pick);
}

TEST_F(PlanningWhileRunning, ASpeedChangeBeforeTheHandOverLeavesTheRunningMotionAsItIs) {
    const auto first = driver->move_to_async(far_side, false);
    wait_until_moving();
    std::shared_future<Result> second;
    EXPECT_TRUE(velmor::drivers::testing::prints("The speed changed while the way around the obstacles was planned", [&] {
        // Slowed down, the hand-over is seconds away when the speed changes.
        driver->time_speed = 0.05;
        second = driver->move_to_async(place, false);
        wait_until_taken_over();
        // The cycle that took the command over has planned it once the robot moves on.
        wait_until_moving(driver->get_current_joint_position());
        driver->set_speed(0.5);
        driver->time_speed = 4.0;
        EXPECT_EQ(second.get(), Result::Success);
    }));
    expect_at(far_side);
}

}  // namespace
