#include "drivers/control_loop/control_loop.hpp"

#include "drivers/clock/simulated_clock.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <functional>
#include <mutex>
#include <stdexcept>

namespace {

using velmor::drivers::ControlLoop;
using velmor::drivers::Pacing;

// A motion of `length` cycles, played by a loop that runs free (time speed 0) or stepped;
// its last cycle ends it under the motion lock, as a driver's does.
struct Motion {
    std::mutex mutex;
    std::atomic<bool> running {false};
    velmor::drivers::TimeSpeed time_speed {0.0};
    std::atomic<Pacing> pacing {Pacing::PauseAfterWork};
    std::atomic<int> active {0};
    std::atomic<int> most_active {0};
    velmor::drivers::SimulatedClock clock {0.0};
    std::atomic<std::size_t> played {0};
    std::size_t length {0};
    std::size_t throw_at {0};
    int failures {0};
    ControlLoop loop {ControlLoop::Owner {mutex, running,
                                          [this](const std::function<void()>& observe) { return cycle(observe); },
                                          [this] { end(true); }},
                      ControlLoop::Clock {0.004, time_speed, pacing, active, most_active, clock}};

    bool cycle(const std::function<void()>& observe) {
        const std::size_t number = ++played;
        if (number == throw_at) {
            throw std::runtime_error("cycle failed");
        }
        if (observe) {
            observe();
        }
        if (number < length) {
            return true;
        }
        std::lock_guard lock(mutex);
        end(false);
        return false;
    }
    void end(bool failed) {
        failures += failed ? 1 : 0;
        loop.end();
        running = false;
    }
    void start(std::size_t cycles) {
        std::lock_guard lock(mutex);
        length = played + cycles;
        running = true;
        loop.start();
    }
};

TEST(ControlLoop, LoopThreadPlaysTheMotionToItsEndAndLeavesNoThreadCounted) {
    Motion motion;
    motion.start(500);
    motion.loop.join();
    EXPECT_EQ(motion.played, 500U);
    EXPECT_FALSE(motion.running);
    EXPECT_EQ(motion.active, 0);
    EXPECT_EQ(motion.most_active, 1);
}

TEST(ControlLoop, SteppingRunsCyclesOnTheCallerUntilAskedOrTheMotionEnds) {
    Motion motion;
    motion.loop.set_stepping(true);
    motion.start(100);
    EXPECT_EQ(motion.loop.run_steps(30, [] { return false; }), 30U);
    EXPECT_EQ(motion.loop.run_steps(1000, [&] { return motion.played == 45; }), 15U);
    EXPECT_EQ(motion.loop.run_steps(1000, [] { return false; }), 55U);
    EXPECT_EQ(motion.loop.run_steps(10, [] { return false; }), 0U);
    EXPECT_EQ(motion.active, 0);
}

TEST(ControlLoop, SwitchingStepModesHandsTheMotionOverAtACycleBoundary) {
    Motion motion;
    motion.start(1'000'000'000);
    motion.loop.set_stepping(true);
    const std::size_t handed_over = motion.played;
    EXPECT_EQ(motion.active, 0);
    EXPECT_EQ(motion.loop.run_steps(7, [] { return false; }), 7U);
    EXPECT_EQ(motion.played, handed_over + 7);
    {
        std::lock_guard lock(motion.mutex);
        motion.length = motion.played + 100;
    }
    motion.loop.set_stepping(false);
    motion.loop.join();
    EXPECT_FALSE(motion.running);
    EXPECT_EQ(motion.most_active, 1);
}

class FailingCycle : public ::testing::TestWithParam<bool> {};

TEST_P(FailingCycle, FailsTheMotionOnceAndPassesTheErrorOn) {
    const bool stepping = GetParam();
    Motion motion;
    motion.throw_at = 20;
    motion.loop.set_stepping(stepping);
    motion.start(100);
    if (stepping) {
        EXPECT_THROW(motion.loop.run_steps(100, [] { return false; }), std::runtime_error);
    } else {
        EXPECT_THROW(motion.loop.join(), std::runtime_error);
    }
    EXPECT_EQ(motion.played, 20U);
    EXPECT_EQ(motion.failures, 1);
    EXPECT_FALSE(motion.running);
    EXPECT_EQ(motion.active, 0);
}

INSTANTIATE_TEST_SUITE_P(ControlLoop, FailingCycle, ::testing::Values(false, true));

}  // namespace
