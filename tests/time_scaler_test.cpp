#include <velmor/drivers/time_scaler.hpp>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <future>
#include <limits>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <velmor/velmor_error.hpp>

namespace {

using velmor::State;
using velmor::Trajectory;
using velmor::drivers::TimeScaler;
using Outcome = TimeScaler::StepOutcome;

constexpr double tight = 1e-12;
constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

// Samples at 0, 0.1 and 0.2 s of two joints with distinct values in every field.
Trajectory three_samples() {
    return Trajectory({0.0, 0.1, 0.2}, {{0.0, 1.0}, {1.0, 3.0}, {2.0, 4.0}}, {{0.5, -1.0}, {2.0, 4.0}, {0.0, 0.0}},
                      {{4.0, 8.0}, {-2.0, 1.0}, {0.0, 0.0}});
}

// One joint moving linearly from 0 to `duration` over `duration` seconds.
Trajectory straight_line(double duration) {
    return Trajectory({0.0, duration}, {{0.0}, {duration}}, {{1.0}, {1.0}}, {{0.0}, {0.0}});
}

bool is_ready(const std::shared_future<bool>& future) {
    return future.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

void expect_values(const std::vector<double>& actual, const std::vector<double>& expected, double tolerance) {
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t j = 0; j < expected.size(); ++j) {
        EXPECT_NEAR(actual[j], expected[j], tolerance) << "joint " << j;
    }
}

void expect_sample(const State& state, const Trajectory& trajectory, std::size_t index, double tolerance) {
    expect_values(state.position, trajectory.positions()[index], tolerance);
    expect_values(state.velocity, trajectory.velocities()[index], tolerance);
    expect_values(state.acceleration, trajectory.accelerations()[index], tolerance);
}

void expect_error(TimeScaler& scaler, State& state, const std::string& message) {
    try {
        scaler.next(state);
        ADD_FAILURE() << "no error";
    } catch (const velmor::VelmorError& error) {
        EXPECT_EQ(error.module, "time-scaler");
        EXPECT_EQ(error.message, message);
    }
}

TEST(TimeScaler, NextWithoutTrajectoryThrowsAndChangesNothing) {
    TimeScaler scaler(0.1);
    State state;
    state.time = 7.0;
    expect_error(scaler, state, "No trajectory defined.");
    EXPECT_EQ(scaler.get_elapsed_time(), 0.0);
    EXPECT_EQ(state.time, 7.0);
    EXPECT_TRUE(state.position.empty());
}

TEST(TimeScaler, NegativeScaleThrowsWithSixDecimalsAndChangesNothing) {
    const Trajectory trajectory = three_samples();
    TimeScaler scaler(0.1);
    scaler.set_trajectory(&trajectory);
    State state;
    scaler.next(state);
    const double played = scaler.get_trajectory_time();
    scaler.min_scale = -1.0;
    scaler.set_scale(-0.25);
    expect_error(scaler, state, "Scale parameter should be greater than zero, but is '-0.250000'.");
    EXPECT_EQ(scaler.get_trajectory_time(), played);
    EXPECT_EQ(scaler.get_elapsed_time(), 0.1);
    EXPECT_EQ(scaler.get_scale(), -0.25);
    EXPECT_EQ(state.time, 0.0);
    expect_sample(state, trajectory, 0, 0.0);
}

TEST(TimeScaler, FullSpeedEmitsEverySampleThenTheLastOnceThenFinished) {
    const Trajectory trajectory = three_samples();
    TimeScaler scaler(0.1);
    scaler.set_trajectory(&trajectory);
    State state;
    ASSERT_EQ(scaler.next(state), Outcome::Moving);
    EXPECT_EQ(state.time, 0.0);
    expect_sample(state, trajectory, 0, 0.0);
    for (std::size_t index = 1; index <= 2; ++index) {
        ASSERT_EQ(scaler.next(state), Outcome::Moving);
        EXPECT_DOUBLE_EQ(state.time, 0.1 * static_cast<double>(index));
        expect_sample(state, trajectory, index, tight);
        EXPECT_LT(scaler.get_trajectory_time(), 0.1 * static_cast<double>(index + 1));
    }
    ASSERT_EQ(scaler.next(state), Outcome::Moving);
    EXPECT_DOUBLE_EQ(state.time, 0.3);
    expect_sample(state, trajectory, 2, 0.0);
    EXPECT_EQ(scaler.get_trajectory_time(), 0.2);
    const double elapsed = scaler.get_elapsed_time();
    for (int call = 0; call < 3; ++call) {
        EXPECT_EQ(scaler.next(state), Outcome::Finished);
    }
    EXPECT_EQ(scaler.get_elapsed_time(), elapsed);
}

TEST(TimeScaler, HalfSpeedScalesVelocityOnceAndAccelerationTwice) {
    const Trajectory trajectory = three_samples();
    TimeScaler scaler(0.1);
    scaler.set_trajectory(&trajectory);
    scaler.set_scale(0.5);
    State state;
    state.position = {7.0, 7.0, 7.0};
    state.velocity = {7.0};
    ASSERT_EQ(scaler.next(state), Outcome::Moving);
    expect_values(state.position, {0.0, 1.0}, tight);
    expect_values(state.velocity, {0.25, -0.5}, tight);
    expect_values(state.acceleration, {1.0, 2.0}, tight);
    ASSERT_EQ(scaler.next(state), Outcome::Moving);
    expect_values(state.position, {0.5, 2.0}, tight);
    expect_values(state.velocity, {2.5 / 2 * 0.5, 3.0 / 2 * 0.5}, tight);
    expect_values(state.acceleration, {2.0 / 2 * 0.25, 9.0 / 2 * 0.25}, tight);
}

TEST(TimeScaler, ScaleIsClampedAndZeroHoldsPositionWhileControlTimeRuns) {
    const Trajectory trajectory = three_samples();
    TimeScaler scaler(0.1);
    scaler.set_trajectory(&trajectory);
    scaler.set_scale(2.5);
    EXPECT_EQ(scaler.get_scale(), 1.0);
    for (const double ignored : {nan, inf, -inf}) {
        scaler.set_scale(ignored);
    }
    EXPECT_EQ(scaler.get_scale(), 1.0);
    State state;
    scaler.next(state);
    scaler.set_scale(-1.0);
    EXPECT_EQ(scaler.get_scale(), 0.0);
    ASSERT_EQ(scaler.next(state), Outcome::Standstill);
    const std::vector<double> held = state.position;
    for (int call = 0; call < 50; ++call) {
        ASSERT_EQ(scaler.next(state), Outcome::Standstill);
        expect_values(state.position, held, tight);
        expect_values(state.velocity, {0.0, 0.0}, 0.0);
        expect_values(state.acceleration, {0.0, 0.0}, 0.0);
    }
    EXPECT_NEAR(scaler.get_elapsed_time(), 5.2, 1e-9);
    scaler.max_scale = 3.0;
    scaler.set_scale(2.5);
    EXPECT_EQ(scaler.get_scale(), 2.5);
}

TEST(TimeScaler, PauseRampFallsLinearlyAndEndsExactlyAtZero) {
    const Trajectory trajectory = straight_line(10.0);
    TimeScaler scaler(0.004);
    scaler.set_trajectory(&trajectory);
    const std::shared_future<bool> paused = scaler.move_scale_linearly_to(0.0, 0.7);
    State state;
    int calls = 1;
    for (double evaluated_at = 0.0; evaluated_at < 0.7; evaluated_at = scaler.get_elapsed_time(), ++calls) {
        const double before = scaler.get_scale();
        ASSERT_EQ(scaler.next(state), Outcome::Moving);
        ASSERT_FALSE(is_ready(paused));
        EXPECT_NEAR(scaler.get_scale(), 1.0 - evaluated_at / 0.7, tight);
        EXPECT_NEAR(before - scaler.get_scale(), calls == 1 ? 0.0 : 0.004 / 0.7, 1e-9);
    }
    EXPECT_EQ(scaler.next(state), Outcome::Standstill);
    EXPECT_EQ(scaler.get_scale(), 0.0);
    ASSERT_TRUE(is_ready(paused));
    EXPECT_TRUE(paused.get());
    EXPECT_GE(calls, 175);
    EXPECT_LE(calls, 177);
    const std::vector<double> held = state.position;
    EXPECT_EQ(scaler.next(state), Outcome::Standstill);
    expect_values(state.position, held, tight);
}

TEST(TimeScaler, RampEndsAtItsEndTimeWithinTheScaleLimits) {
    const Trajectory trajectory = straight_line(10.0);
    TimeScaler scaler(0.1);
    scaler.set_trajectory(&trajectory);
    State state;
    const std::shared_future<bool> jump = scaler.move_scale_linearly_to(0.25, 0.0);
    EXPECT_EQ(scaler.get_scale(), 1.0);
    scaler.next(state);
    EXPECT_EQ(scaler.get_scale(), 0.25);
    EXPECT_TRUE(is_ready(jump) && jump.get());

    const std::shared_future<bool> up = scaler.move_scale_linearly_to(3.0, 0.2);
    scaler.next(state);
    EXPECT_EQ(scaler.get_scale(), 0.25);
    scaler.next(state);
    EXPECT_EQ(scaler.get_scale(), 1.0);
    EXPECT_FALSE(is_ready(up));
    scaler.next(state);
    EXPECT_TRUE(is_ready(up) && up.get());
}

TEST(TimeScaler, RequestsThatStartNoRampDropTheActiveOneAndEndItsPromise) {
    const Trajectory trajectory = straight_line(10.0);
    TimeScaler scaler(0.1);
    scaler.set_trajectory(&trajectory);
    State state;
    const auto drop_after_two_cycles = [&](auto drop) {
        const std::shared_future<bool> pausing = scaler.move_scale_linearly_to(0.0, 1.0);
        const double start = scaler.get_scale();
        scaler.next(state);
        scaler.next(state);
        drop();
        for (int call = 0; call < 20; ++call) {
            scaler.next(state);
        }
        EXPECT_NEAR(scaler.get_scale(), start - 0.1 * start, tight);
        // The dropped ramp will never end: its waiter learns so at once.
        ASSERT_TRUE(is_ready(pausing));
        EXPECT_FALSE(pausing.get());
    };
    drop_after_two_cycles([&] { EXPECT_FALSE(scaler.move_scale_linearly_to(scaler.get_scale(), 0.5).valid()); });
    drop_after_two_cycles([&] { EXPECT_FALSE(scaler.move_scale_linearly_to(0.5, -0.1).valid()); });
    drop_after_two_cycles([&] { EXPECT_FALSE(scaler.move_scale_linearly_to(nan, 1.0).valid()); });
    drop_after_two_cycles([&] { EXPECT_FALSE(scaler.move_scale_linearly_to(0.5, inf).valid()); });
    drop_after_two_cycles([&] { scaler.stop_scale_movement(); });

    // At full speed a ramp to full speed is no ramp: the pause ramp is dropped before its first step.
    scaler.set_scale(1.0);
    const std::shared_future<bool> pausing = scaler.move_scale_linearly_to(0.0, 0.7);
    EXPECT_FALSE(scaler.move_scale_linearly_to(1.0, 0.5).valid());
    scaler.next(state);
    EXPECT_EQ(scaler.get_scale(), 1.0);
    ASSERT_TRUE(is_ready(pausing));
    EXPECT_FALSE(pausing.get());
}

TEST(TimeScaler, NewerRampBreaksThePromiseOfTheReplacedOne) {
    const Trajectory trajectory = straight_line(10.0);
    TimeScaler scaler(0.1);
    scaler.set_trajectory(&trajectory);
    const std::shared_future<bool> first = scaler.move_scale_linearly_to(0.0, 1.0);
    State state;
    scaler.next(state);
    const std::shared_future<bool> second = scaler.move_scale_linearly_to(0.5, 0.2);
    ASSERT_TRUE(is_ready(first));
    try {
        first.get();
        ADD_FAILURE() << "replaced promise delivered a value";
    } catch (const std::future_error& error) {
        EXPECT_EQ(error.code(), std::future_errc::broken_promise);
    }
    for (int call = 0; call < 3; ++call) {
        scaler.next(state);
    }
    EXPECT_TRUE(is_ready(second) && second.get());
    EXPECT_EQ(scaler.get_scale(), 0.5);
}

// The scales after each call until the scale reaches 0; they must fall by `step` per call.
std::vector<double> expect_fall_to_zero(TimeScaler& scaler, State& state, double step) {
    std::vector<double> scales {scaler.get_scale()};
    while (scales.back() > 0.0 && scales.size() < 300) {
        scaler.next(state);
        scales.push_back(scaler.get_scale());
    }
    EXPECT_EQ(scales.back(), 0.0);
    for (std::size_t k = 2; k + 1 < scales.size(); ++k) {
        EXPECT_NEAR(scales[k - 1] - scales[k], step, 1e-9) << "call " << k;
    }
    return scales;
}

TEST(TimeScaler, TrajectoryEndingDuringRampYieldsFalseAndRampGoesOn) {
    const Trajectory short_one = three_samples();
    const Trajectory long_one = straight_line(100.0);
    TimeScaler scaler(0.1);
    scaler.set_trajectory(&short_one);
    const std::shared_future<bool> pausing = scaler.move_scale_linearly_to(0.0, 10.0);
    State state;
    for (int call = 0; call < 4; ++call) {
        ASSERT_NE(scaler.next(state), Outcome::Finished);
        ASSERT_FALSE(is_ready(pausing));
    }
    ASSERT_EQ(scaler.next(state), Outcome::Finished);
    ASSERT_TRUE(is_ready(pausing));
    EXPECT_FALSE(pausing.get());
    expect_sample(state, short_one, 2, 0.0);

    // On the next trajectory the same ramp goes on to zero at 0.1 per second.
    EXPECT_NEAR(scaler.get_scale(), 0.97, tight);
    scaler.set_trajectory(&long_one);
    const std::size_t calls = expect_fall_to_zero(scaler, state, 0.01).size() - 1;
    EXPECT_GE(calls, 97U);
    EXPECT_LE(calls, 99U);
}

TEST(TimeScaler, NewTrajectoryRebasesRampWithTheSameSlope) {
    const Trajectory first = straight_line(10.0);
    const Trajectory second = straight_line(10.0);
    TimeScaler scaler(0.1);
    scaler.set_trajectory(&first);
    const std::shared_future<bool> pausing = scaler.move_scale_linearly_to(0.0, 1.0);
    State state;
    for (int call = 0; call < 4; ++call) {
        scaler.next(state);
    }
    scaler.set_trajectory(&second);
    EXPECT_EQ(scaler.get_elapsed_time(), 0.0);
    EXPECT_EQ(scaler.get_trajectory_time(), 0.0);
    EXPECT_NEAR(scaler.get_scale(), 0.7, tight);
    const std::vector<double> scales = expect_fall_to_zero(scaler, state, 0.1);
    EXPECT_NEAR(scales[1], 0.7, tight);
    EXPECT_GE(scales.size(), 8U);
    EXPECT_LE(scales.size(), 10U);
    EXPECT_TRUE(is_ready(pausing) && pausing.get());
}

TEST(TimeScaler, RebasingARampWithoutScaleChangeKeepsItsRemainingTime) {
    const Trajectory trajectory = straight_line(10.0);
    TimeScaler scaler(0.1);
    scaler.set_trajectory(&trajectory);
    scaler.set_scale(0.5);
    const std::shared_future<bool> done = scaler.move_scale_linearly_to(1.0, 0.5);
    State state;
    scaler.next(state);
    scaler.next(state);
    // A caller jumps to the target while the ramp still runs; two new
    // trajectories in a row then rebase a ramp whose start equals its end.
    scaler.set_scale(1.0);
    scaler.set_trajectory(&trajectory);
    scaler.set_trajectory(&trajectory);
    for (int call = 0; call < 6 && !is_ready(done); ++call) {
        scaler.next(state);
    }
    EXPECT_TRUE(is_ready(done) && done.get());
    EXPECT_EQ(scaler.get_scale(), 1.0);
}

TEST(TimeScaler, FinishedRepeatsTheLastSampleAndKeepsTheTimeStamp) {
    const Trajectory trajectory = three_samples();
    TimeScaler scaler(0.1);
    scaler.set_trajectory(&trajectory);
    State state;
    while (scaler.next(state) != Outcome::Finished) {
    }
    for (int call = 0; call < 3; ++call) {
        state = State {42.0, {9.0, 9.0, 9.0}, {}, {1.0}};
        ASSERT_EQ(scaler.next(state), Outcome::Finished);
        EXPECT_EQ(state.time, 42.0);
        expect_sample(state, trajectory, 2, 0.0);
    }
    const Trajectory empty;
    scaler.set_trajectory(&empty);
    EXPECT_EQ(scaler.next(state), Outcome::Finished);
    EXPECT_EQ(state.time, 42.0);
    expect_sample(state, trajectory, 2, 0.0);
}

// Samples at random spacing; every field random.
Trajectory random_trajectory(std::mt19937& random) {
    std::uniform_int_distribution<std::size_t> sample_count(1, 40);
    std::uniform_int_distribution<std::size_t> joint_count(1, 8);
    std::uniform_real_distribution<double> spacing(0.001, 0.2);
    std::uniform_real_distribution<double> value(-3.0, 3.0);
    const std::size_t count = sample_count(random);
    const std::size_t joints = joint_count(random);
    std::vector<double> times {0.0};
    std::vector<std::vector<double>> fields[3];
    for (std::size_t i = 0; i < count * joints * 3; ++i) {
        auto& field = fields[i % 3];
        field.resize(i / (joints * 3) + 1);
        field.back().push_back(value(random));
    }
    while (times.size() < count) {
        times.push_back(times.back() + spacing(random));
    }
    return Trajectory(times, fields[0], fields[1], fields[2]);
}

TEST(TimeScaler, RandomPlaybackFollowsThePathAndEndsOnTheLastSample) {
    std::mt19937 random(20240611);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int round = 0; round < 400; ++round) {
        const Trajectory trajectory = random_trajectory(random);
        const double delta_time = 0.004 + 0.05 * unit(random);
        TimeScaler scaler(delta_time);
        scaler.max_scale = 1.5;
        scaler.set_scale(round % 3 == 0 ? 1.0 : 0.05 + 1.45 * unit(random));
        scaler.set_trajectory(&trajectory);
        const std::vector<double>& times = trajectory.times();
        State state;
        int cycles = 0;
        for (bool last_emitted = false; true; ++cycles) {
            ASSERT_LT(cycles, 100000);
            if (round % 2 == 0 && cycles % 7 == 6) {
                scaler.set_scale(unit(random) < 0.1 ? 0.0 : 0.05 + 1.45 * unit(random));
            }
            const double played = scaler.get_trajectory_time();
            const double scale = scaler.get_scale();
            const Outcome outcome = scaler.next(state);
            if (last_emitted) {
                ASSERT_EQ(outcome, Outcome::Finished);
                expect_sample(state, trajectory, trajectory.size() - 1, 0.0);
                break;
            }
            ASSERT_EQ(outcome, scale > 0.0 ? Outcome::Moving : Outcome::Standstill);
            if (played >= trajectory.duration()) {
                // The step past the end emits the last sample and settles on the duration.
                expect_sample(state, trajectory, trajectory.size() - 1, 0.0);
                EXPECT_EQ(scaler.get_trajectory_time(), trajectory.duration());
                last_emitted = true;
                continue;
            }
            // Each step moves forward by scale * delta_time less 2^-51.
            ASSERT_GE(scaler.get_trajectory_time(), played - 4.5e-16) << "round " << round << " call " << cycles;
            ASSERT_NEAR(scaler.get_trajectory_time() - played, scale * delta_time, 1e-12);
            // Cross-check against a linear search for the enclosing segment.
            std::size_t k = 0;
            while (k + 2 < times.size() && times[k + 1] <= played) {
                ++k;
            }
            const double f = (played - times[k]) / (times[k + 1] - times[k]);
            for (std::size_t j = 0; j < trajectory.degrees_of_freedom(); ++j) {
                const auto mix = [&](const std::vector<std::vector<double>>& field) {
                    return field[k][j] * (1.0 - f) + field[k + 1][j] * f;
                };
                ASSERT_NEAR(state.position[j], mix(trajectory.positions()), 1e-9);
                ASSERT_NEAR(state.velocity[j], mix(trajectory.velocities()) * scale, 1e-9);
                ASSERT_NEAR(state.acceleration[j], mix(trajectory.accelerations()) * scale * scale, 1e-9);
            }
        }
    }
}

TEST(TimeScaler, SpeedChangesFromAnotherThreadWhilePlaying) {
    const Trajectory first = straight_line(0.5);
    const Trajectory second = three_samples();
    TimeScaler scaler(0.004);
    scaler.set_trajectory(&first);
    std::atomic<bool> playing {true};
    std::atomic<int> out_of_range {0};
    std::thread loop([&] {
        State state;
        for (int call = 0; call < 40000; ++call) {
            if (scaler.next(state) == Outcome::Finished) {
                scaler.set_trajectory(call % 2 == 0 ? &second : &first);
            }
            out_of_range += scaler.get_scale() < 0.0 || scaler.get_scale() > 1.0 ? 1 : 0;
        }
        playing = false;
    });

    std::mt19937 random(3);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<std::shared_future<bool>> started;
    while (playing) {
        const double choice = unit(random);
        if (choice < 0.4) {
            started.push_back(scaler.move_scale_linearly_to(unit(random), 0.2 * unit(random)));
        } else if (choice < 0.7) {
            scaler.set_scale(1.5 * unit(random) - 0.25);
        } else if (choice < 0.8) {
            scaler.stop_scale_movement();
        } else {
            EXPECT_GE(scaler.get_elapsed_time() + scaler.get_trajectory_time(), -1e-12);
        }
        std::this_thread::yield();
    }
    loop.join();
    EXPECT_EQ(out_of_range, 0);
    // Starting a newer ramp settles the promise of the one before in every case.
    std::erase_if(started, [](const auto& future) { return !future.valid(); });
    for (std::size_t k = 0; k + 1 < started.size(); ++k) {
        EXPECT_TRUE(is_ready(started[k])) << "ramp " << k;
    }
}

}  // namespace
