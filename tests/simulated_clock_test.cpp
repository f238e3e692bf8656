#include "drivers/clock/simulated_clock.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <cmath>
#include <limits>
#include <thread>
#include <vector>

#include <velmor/velmor_error.hpp>

namespace {

using velmor::drivers::SimulatedClock;

constexpr double cycle {0.004};  // [s]
constexpr auto wall_step = std::chrono::milliseconds(20);

bool never() {
    return false;
}

TEST(SimulatedClock, FollowsWallClockOnlyWhenIdleAndFree) {
    SimulatedClock clock(1000.0);
    std::this_thread::sleep_for(wall_step);
    const double idle = clock.now();
    EXPECT_GE(idle, 1000.0 * 0.02);
    clock.set_moving(true);
    const double moving = clock.now();
    std::this_thread::sleep_for(wall_step);
    EXPECT_EQ(clock.now(), moving);
    clock.set_moving(false);
    clock.set_stepping(true);
    const double stepping = clock.now();
    std::this_thread::sleep_for(wall_step);
    EXPECT_EQ(clock.now(), stepping);
}

// The wall-clock time followed at the old speed is kept, not worked out again at the new one.
TEST(SimulatedClock, ASpeedChangeKeepsTheTimeFollowedSoFar) {
    SimulatedClock clock(1000.0);
    std::this_thread::sleep_for(wall_step);
    const double before = clock.now();
    clock.set_speed(0.0);
    const double stopped = clock.now();
    EXPECT_GE(stopped, before);
    std::this_thread::sleep_for(wall_step);
    EXPECT_EQ(clock.now(), stopped);
}

TEST(SimulatedClock, AdvancesByCyclesAndDwellsExactlyAtSpeedZero) {
    SimulatedClock clock(0.0);
    double expected {0.0};
    for (int count = 0; count < 3; ++count) {
        clock.advance(cycle);
        expected += cycle;
    }
    EXPECT_FALSE(clock.wait(never, 1.5));
    EXPECT_EQ(clock.now(), expected + 1.5);
    EXPECT_TRUE(clock.wait([] { return true; }, 1.5));
    EXPECT_EQ(clock.now(), expected + 1.5);
}

// During a motion only its cycles advance the clock: a wait ends at the first cycle past its end.
TEST(SimulatedClock, AWaitDuringAMotionEndsWithItsCycles) {
    SimulatedClock clock(0.0);
    clock.set_moving(true);
    auto waiting = std::async(std::launch::async, [&clock] { return clock.wait(never, 0.01); });
    double expected {0.0};
    while (waiting.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready) {
        clock.advance(cycle);
        expected += cycle;
    }
    EXPECT_FALSE(waiting.get());
    EXPECT_GE(expected, 0.01);
    EXPECT_EQ(clock.now(), expected);
}

TEST(SimulatedClock, CloseEndsAWaitWithoutLimitAndRefusesLaterOnes) {
    SimulatedClock clock(0.0);
    std::atomic<bool> started {false};
    auto waiting = std::async(std::launch::async, [&] {
        return clock.wait(
            [&started] {
                started = true;
                return false;
            },
            std::nullopt);
    });
    while (!started) {
        std::this_thread::yield();
    }
    clock.close();
    EXPECT_FALSE(waiting.get());
    EXPECT_THROW(clock.wait(never, 1.0), velmor::VelmorError);
}

// A wait at rest with nothing else to advance the clock stops at each alarm, lets it
// ring, and ends as soon as what the ring changed makes its condition hold.
TEST(SimulatedClock, AWaitAtRestStopsAtEachAlarm) {
    SimulatedClock clock(0.0, cycle);
    std::vector<double> rung;
    std::atomic<bool> part {false};
    clock.set_ring([&](double time) {
        rung.push_back(time);
        part = rung.size() == 2;
        clock.set_alarm(time + 0.25);
    });
    clock.set_alarm(0.5);
    EXPECT_TRUE(clock.wait([&part] { return part.load(); }, 10.0));
    EXPECT_EQ(rung, (std::vector<double> {0.5, 0.75}));
    EXPECT_EQ(clock.now(), 0.75);
    EXPECT_FALSE(clock.wait(never, 0.1));
    EXPECT_EQ(clock.now(), 0.75 + 0.1);
    EXPECT_TRUE(clock.advance(cycle * 100));
}

// Wall-clock time counts in whole cycles, and the clock halts at an alarm that has not rung.
TEST(SimulatedClock, FollowsWallClockInWholeCyclesUpToTheAlarm) {
    SimulatedClock clock(1.0, 1.0);
    std::this_thread::sleep_for(wall_step);
    EXPECT_EQ(clock.now(), 0.0);
    clock.set_speed(1000.0);
    clock.set_alarm(5.0);
    std::this_thread::sleep_for(wall_step * 2);
    const double followed = clock.now();
    EXPECT_EQ(followed, 5.0);
    EXPECT_EQ(clock.await_alarm(), 5.0);
    clock.set_alarm(std::numeric_limits<double>::infinity());
    std::this_thread::sleep_for(wall_step);
    const double later = clock.now();
    EXPECT_GT(later, 5.0);
    EXPECT_EQ(later, std::floor(later));
}

}  // namespace
