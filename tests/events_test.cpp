#include <velmor/drivers/events.hpp>

#include <atomic>
#include <cmath>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <support/test_driver.hpp>
#include <velmor/motion/robots.hpp>

namespace velmor::drivers {
namespace {

using testing::arm_planner;
using testing::TestDriver;
using testing::trajectory_of;

const std::vector<double> home {0.1, -1.2, 1.3, 0.4, 0.5, 0.6};

// The evaluation context of a trigger: a six-axis arm at `home` on a 2 s trajectory.
class TriggerContext : public ::testing::Test {
protected:
    std::shared_ptr<velmor::Robot> arm {std::make_shared<velmor::robots::UR5e>()};
    velmor::Trajectory trajectory {trajectory_of({home, home, home}, 1.0)};

    bool holds(const Trigger& trigger, double time, const std::vector<double>& position = home) const {
        return trigger(arm, time, position, trajectory);
    }
    double value(const Trigger::Value& value, double time, const std::vector<double>& position = home) const {
        return value(arm, time, position, trajectory);
    }
};

// A trigger that counts how often it is evaluated and answers `answer`.
Trigger counted(int& evaluations, bool answer) {
    return Trigger([&evaluations, answer](const std::shared_ptr<velmor::Robot>&, double, const std::vector<double>&,
                                          const velmor::Trajectory&) {
        ++evaluations;
        return answer;
    });
}

TEST_F(TriggerContext, ComparisonsAreThePlainFloatingPointOnes) {
    EXPECT_FALSE(holds(Trigger::Time() > 1.0, 1.0));
    EXPECT_TRUE(holds(Trigger::Time() > 1.0, 1.004));
    EXPECT_TRUE(holds(Trigger::Time() >= 1.0, 1.0));
    EXPECT_FALSE(holds(Trigger::Time() >= 1.0, 0.999));
    EXPECT_FALSE(holds(Trigger::Time() < 1.0, 1.0));
    EXPECT_TRUE(holds(Trigger::Time() < 1.0, 0.999));
    EXPECT_TRUE(holds(Trigger::Time() <= 1.0, 1.0));
    EXPECT_FALSE(holds(Trigger::Time() <= 1.0, 1.001));
}

TEST_F(TriggerContext, NanNeverSatisfiesAComparison) {
    const double nan = std::nan("");
    EXPECT_FALSE(holds(Trigger::Time() > 0.0, nan));
    EXPECT_FALSE(holds(Trigger::Time() >= 0.0, nan));
    EXPECT_FALSE(holds(Trigger::Time() < 0.0, nan));
    EXPECT_FALSE(holds(Trigger::Time() <= 0.0, nan));
}

TEST_F(TriggerContext, TimeToGoalIsWhatRemainsOfTheTrajectory) {
    EXPECT_DOUBLE_EQ(value(Trigger::TimeToGoal(), 0.5), 1.5);
    EXPECT_TRUE(holds(Trigger::TimeToGoal() < 0.5, 1.6));
    EXPECT_FALSE(holds(Trigger::TimeToGoal() < 0.5, 1.4));
}

TEST_F(TriggerContext, JointPositionReadsTheJointAndRefusesOthers) {
    EXPECT_EQ(value(Trigger::JointPosition(2), 0.0), 1.3);
    EXPECT_THROW(value(Trigger::JointPosition(6), 0.0), std::out_of_range);
}

TEST_F(TriggerContext, TcpPositionIsTheArmsToolPose) {
    const auto euler =
        std::dynamic_pointer_cast<velmor::RobotArm>(arm)->calculate_tcp(home).to_euler();
    for (std::size_t axis = 0; axis < 6; ++axis) {
        EXPECT_EQ(value(Trigger::TCPPosition(axis), 0.0), euler[axis]) << "axis " << axis;
    }
    EXPECT_GT(std::abs(euler[0]) + std::abs(euler[1]) + std::abs(euler[2]), 0.1);
    EXPECT_THROW(value(Trigger::TCPPosition(6), 0.0), std::out_of_range);
}

TEST_F(TriggerContext, TcpPositionOfARobotThatIsNoArmIsZero) {
    arm = std::make_shared<velmor::robots::DualArm>(std::make_shared<velmor::robots::UR5e>(),
                                                    std::make_shared<velmor::robots::UR5e>());
    std::vector<double> both = home;
    both.insert(both.end(), home.begin(), home.end());
    EXPECT_EQ(value(Trigger::TCPPosition(0), 0.0, both), 0.0);
}

TEST_F(TriggerContext, CombinationsFollowTheirTruthTables) {
    const auto both = Trigger::JointPosition(0) > 0.5 && Trigger::JointPosition(1) < 0.0;
    const auto either = Trigger::JointPosition(0) > 0.5 || Trigger::JointPosition(1) < 0.0;
    EXPECT_TRUE(holds(both, 0.0, {0.6, -0.1}));
    EXPECT_FALSE(holds(both, 0.0, {0.6, 0.1}));
    EXPECT_FALSE(holds(both, 0.0, {0.4, -0.1}));
    EXPECT_TRUE(holds(either, 0.0, {0.6, 0.1}));
    EXPECT_TRUE(holds(either, 0.0, {0.4, -0.1}));
    EXPECT_FALSE(holds(either, 0.0, {0.4, 0.1}));
}

TEST_F(TriggerContext, CombinationsShortCircuit) {
    int right = 0;
    int left = 0;
    EXPECT_FALSE(holds(counted(left, false) && counted(right, true), 0.0));
    EXPECT_EQ(right, 0);
    EXPECT_TRUE(holds(counted(left, true) && counted(right, true), 0.0));
    EXPECT_EQ(right, 1);
    EXPECT_TRUE(holds(counted(left, true) || counted(right, false), 0.0));
    EXPECT_EQ(right, 1);
    EXPECT_FALSE(holds(counted(left, false) || counted(right, false), 0.0));
    EXPECT_EQ(right, 2);
    EXPECT_EQ(left, 4);
    // The right-hand side's exception is only reached when needed.
    EXPECT_FALSE(holds(Trigger::Time() > 1.0 && Trigger::JointPosition(9) > 0.0, 0.0));
    EXPECT_THROW(holds(Trigger::Time() > 1.0 || Trigger::JointPosition(9) > 0.0, 0.0), std::out_of_range);
}

TEST_F(TriggerContext, EmptyFunctionsThrowBadFunctionCall) {
    EXPECT_THROW(holds(Trigger(nullptr), 0.0), std::bad_function_call);
    EXPECT_THROW(Action(nullptr)(0.0), std::bad_function_call);
}

class DriverEvents : public ::testing::Test {
protected:
    TestDriver driver {arm_planner()};
    std::vector<std::string> fired;

    Action record(const std::string& name) {
        return Action([this, name](double) { fired.push_back(name); });
    }
};

TEST_F(DriverEvents, EventsFireOnceInRegistrationOrder) {
    driver.add_event(Trigger::Time() > 1.0, record("late"));
    driver.add_event(Trigger::Time() > 0.5, record("first"));
    driver.add_event(Trigger::Time() > 0.5, record("second"));
    driver.add_event(Trigger::JointPosition(0) > 0.2, record("joint"));
    driver.check_for_events(0.6, home);
    EXPECT_EQ(fired, (std::vector<std::string> {"first", "second"}));
    driver.check_for_events(0.7, home);
    EXPECT_EQ(fired.size(), 2U);
    driver.check_for_events(1.1, home);
    EXPECT_EQ(fired, (std::vector<std::string> {"first", "second", "late"}));
    ASSERT_EQ(driver.events.size(), 1U);
    EXPECT_TRUE(driver.has_events());
}

TEST_F(DriverEvents, TriggerSeesTheDriversRobotAndTrajectoryAndTheActionTheTime) {
    driver.current_trajectory = trajectory_of({home, home}, 2.0);
    double action_time = -1.0;
    driver.add_event(Trigger([this](const std::shared_ptr<velmor::Robot>& robot, double time,
                                    const std::vector<double>& position, const velmor::Trajectory& trajectory) {
                         return robot == driver.robot && position == home && trajectory.duration() == 2.0 &&
                                time == 1.25;
                     }),
                     Action([&](double time) { action_time = time; }));
    driver.check_for_events(1.25, home);
    EXPECT_EQ(action_time, 1.25);
    EXPECT_FALSE(driver.has_events());
}

// A failing trigger or action would fail again in every later cycle: it leaves
// the walk at once and takes its event with it; the events behind it wait.
TEST_F(DriverEvents, FailingEventIsRemovedAndStopsTheWalk) {
    int calls = 0;
    driver.add_event(Trigger::Time() > 0.0, record("before"));
    driver.add_event(Trigger::JointPosition(8) > 0.0, record("throws"));
    driver.add_event(Trigger::Time() > 0.0, Action([&](double) {
                         ++calls;
                         throw std::runtime_error("action failed");
                     }));
    driver.add_event(Trigger::Time() > 0.0, record("behind"));
    EXPECT_THROW(driver.check_for_events(1.0, home), std::out_of_range);
    EXPECT_EQ(fired, (std::vector<std::string> {"before"}));
    EXPECT_EQ(driver.events.size(), 2U);
    EXPECT_THROW(driver.check_for_events(1.0, home), std::runtime_error);
    EXPECT_EQ(driver.events.size(), 1U);
    driver.check_for_events(1.0, home);
    EXPECT_EQ(fired, (std::vector<std::string> {"before", "behind"}));
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(driver.has_events());
}

TEST_F(DriverEvents, ActionMayAddAnEventThatTakesPartFromTheNextCycle) {
    driver.add_event(Trigger::Time() > 0.0, Action([this](double) {
                         fired.push_back("outer");
                         driver.add_event(Trigger::Time() > 0.0, record("inner"));
                     }));
    driver.check_for_events(1.0, home);
    EXPECT_EQ(fired, (std::vector<std::string> {"outer"}));
    EXPECT_TRUE(driver.has_events());
    driver.check_for_events(1.0, home);
    EXPECT_EQ(fired, (std::vector<std::string> {"outer", "inner"}));
    EXPECT_FALSE(driver.has_events());
}

TEST_F(DriverEvents, EventsAddedWhileTheLoopChecksAreAllFired) {
    constexpr int added = 2000;
    int count = 0;
    std::atomic<bool> done {false};
    std::thread caller([&] {
        for (int i = 0; i < added; ++i) {
            driver.add_event(Trigger::Time() > 0.0, Action([&count](double) { ++count; }));
        }
        done = true;
    });
    while (!done) {
        driver.check_for_events(1.0, home);
    }
    caller.join();
    driver.check_for_events(1.0, home);
    EXPECT_EQ(count, added);
    EXPECT_FALSE(driver.has_events());
}

}  // namespace
}  // namespace velmor::drivers
